#pragma once
// Where a file holds data and where it has holes, which read as zeros without being stored.
#include <cstdint>

namespace platform {

// A range of a file, [m_i64Begin, m_i64End).
struct FileRange {
    std::int64_t m_i64Begin = 0;
    std::int64_t m_i64End = 0;
    bool operator==(const FileRange&) const = default;
};

// The ranges of [i64Begin, i64End) that hold data, in order, into `out` (at most `nMax`, the
// last of which then runs to i64End); everything else in the range is a hole. Returns how many,
// or -1 when the file system cannot tell: then the whole range is to be read. Bytes past the end
// of the file count as holes; the caller compares the range with the file's size.
int DataRangesOf(int fd, std::int64_t i64Begin, std::int64_t i64End, FileRange* out, int nMax);

} // namespace platform
