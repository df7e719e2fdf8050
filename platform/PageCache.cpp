#include "platform/PageCache.h"

#include "platform/Faults.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {

std::uint64_t PhysicalMemory() {
    std::uint64_t bytes = 0;
    if (IFaultInjector* f = FaultInjector(); f && f->OnMemorySize(bytes))
        return bytes;
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long page = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && page > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page)
                                 : 0;
}

bool IsMostlyCached(int fd, std::int64_t i64Size) {
    const auto page = static_cast<std::int64_t>(::sysconf(_SC_PAGESIZE));
    if (i64Size <= 0 || page <= 0)
        return false;
    void* map = ::mmap(nullptr, static_cast<std::size_t>(i64Size), PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED)
        return false;
    constexpr std::int64_t kSamples = 64, kSamplePages = 64; // all of a file up to 4096 pages
    unsigned char vec[kSamples * kSamplePages];
    const std::int64_t pages = (i64Size + page - 1) / page;
    std::int64_t looked = 0, resident = 0;
    const std::int64_t windows = pages <= kSamples * kSamplePages ? 1 : kSamples;
    for (std::int64_t w = 0; w < windows; ++w) {
        const std::int64_t first = windows == 1 ? 0 : pages * w / windows;
        const std::int64_t count = windows == 1 ? pages : std::min(kSamplePages, pages - first);
        if (::mincore(static_cast<char*>(map) + first * page,
                      static_cast<std::size_t>(count * page), vec) != 0)
            continue;
        for (std::int64_t i = 0; i < count; ++i)
            resident += vec[i] & 1;
        looked += count;
    }
    ::munmap(map, static_cast<std::size_t>(i64Size));
    return looked > 0 && resident * 2 > looked;
}

void DropFromCache(int fd, std::int64_t i64Begin, std::int64_t i64Length) {
    if (i64Length > 0)
        ::posix_fadvise(fd, static_cast<off_t>(i64Begin), static_cast<off_t>(i64Length),
                        POSIX_FADV_DONTNEED);
}

} // namespace platform
