#pragma once
// Writing to a reader that may stop reading (a pager paused) without being held by it for ever.
#include <climits>
#include <cstddef>
#include <functional>

namespace platform {

// At most this much is written at a time after WaitForOutputRoom: a pipe that has room takes it
// whole, without blocking.
constexpr std::size_t kOutputSlice = PIPE_BUF;

// Waits until `fd` can take kOutputSlice bytes, asking `stop` every few milliseconds meanwhile (a
// signal handler can only set a flag). False when `stop` said so first; true at once for what
// is always ready, such as a regular file, and when `fd` cannot be waited on (the write reports).
bool WaitForOutputRoom(int fd, const std::function<bool()>& stop);

} // namespace platform
