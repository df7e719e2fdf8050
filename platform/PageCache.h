#pragma once
// What of a file the page cache holds, and letting it go.
#include <cstdint>

namespace platform {

// The machine's memory in bytes; 0 when it cannot be told.
std::uint64_t PhysicalMemory();
// Whether most of the first `i64Size` bytes of the file are in the page cache now, judged from
// pages spread over the whole file.
bool IsMostlyCached(int fd, std::int64_t i64Size);
// Lets the page cache forget [i64Begin, i64Begin + i64Length) of the file.
void DropFromCache(int fd, std::int64_t i64Begin, std::int64_t i64Length);

} // namespace platform
