#pragma once
// The wall clock as the program shows it: local date and time; and a cheap clock for intervals.
#include <cstdint>

namespace platform {

struct LocalTime {
    int m_nYear = 0;   // e.g. 2026
    int m_nMonth = 0;  // 1-12
    int m_nDay = 0;    // 1-31
    int m_nHour = 0;   // 0-23
    int m_nMinute = 0; // 0-59
    int m_nSecond = 0; // 0-60
};

LocalTime NowLocal();

// Milliseconds on a clock that never goes back, to within a few milliseconds; cheap enough to
// be read once per difference.
std::int64_t MonotonicMs();

} // namespace platform
