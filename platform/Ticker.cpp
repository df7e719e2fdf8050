#include "platform/Ticker.h"

#include <system_error>

namespace platform {

CTicker::CTicker(std::atomic<bool>& flag, std::chrono::milliseconds period)
    : m_flag(flag), m_period(period) {
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
    }
}

CTicker::~CTicker() {
    {
        CMutexLock lock(m_mutex);
        m_bStop = true;
    }
    m_cv.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void CTicker::Run() {
    CMutexLock lock(m_mutex);
    while (!m_bStop)
        if (!lock.WaitFor(m_cv, m_period) && !m_bStop)
            m_flag.store(true, std::memory_order_relaxed);
}

} // namespace platform
