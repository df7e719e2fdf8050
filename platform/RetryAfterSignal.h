#pragma once
// For the platform's own sources only: the one place that retries a call interrupted by a signal.
#include <cerrno>

namespace platform {

template <typename F> auto RetryAfterSignal(F f) {
    decltype(f()) r;
    do {
        r = f();
    } while (r == -1 && errno == EINTR);
    return r;
}

} // namespace platform
