#include "platform/Memory.h"

#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {

void AdviseLargePages(void* p, std::size_t n) {
#ifdef MADV_HUGEPAGE
    // The advice applies to whole pages: those the array covers entirely.
    static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<std::uintptr_t>(p) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(p) + n) & ~(page - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)p;
    (void)n;
#endif
}

} // namespace platform
