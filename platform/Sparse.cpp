#include "platform/Sparse.h"

#include "platform/Faults.h"

#include <cerrno>
#include <unistd.h>

namespace platform {

int DataRangesOf(int fd, std::int64_t i64Begin, std::int64_t i64End, FileRange* out, int nMax) {
    if (IFaultInjector* f = FaultInjector(); f && !f->OnDataMap(fd))
        return -1;
    int n = 0;
    std::int64_t pos = i64Begin;
    while (pos < i64End) {
        const off_t data = ::lseek(fd, static_cast<off_t>(pos), SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) // no data from here to the end of the file
                break;
            return -1; // EINVAL: this file system has no map to give
        }
        if (data >= i64End)
            break;
        if (n == nMax - 1) { // no room for the pieces that follow: read the rest whole
            out[n++] = {data, i64End};
            break;
        }
        const off_t hole = ::lseek(fd, data, SEEK_HOLE);
        // A hole at the very place the data was said to start: the map changed meanwhile.
        if (hole <= data)
            return -1;
        out[n++] = {data, hole < i64End ? hole : i64End};
        pos = hole;
    }
    return n;
}

} // namespace platform
