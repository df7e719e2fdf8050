#include "platform/Clock.h"

#include <ctime>

namespace platform {

LocalTime NowLocal() {
    std::time_t now = std::time(nullptr);
    std::tm tm {};
    LocalTime t;
    if (::localtime_r(&now, &tm) == nullptr)
        return t;
    t.m_nYear = tm.tm_year + 1900;
    t.m_nMonth = tm.tm_mon + 1;
    t.m_nDay = tm.tm_mday;
    t.m_nHour = tm.tm_hour;
    t.m_nMinute = tm.tm_min;
    t.m_nSecond = tm.tm_sec;
    return t;
}

std::int64_t MonotonicMs() {
    timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace platform
