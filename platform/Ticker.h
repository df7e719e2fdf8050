#pragma once
// A flag raised at a steady pace by a thread of its own: for a loop that must act at least that
// often but is too hot to read a clock on every pass.
#include "platform/Mutex.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

namespace platform {

class CTicker {
public:
    // Raises `flag` every `period` from now until the ticker is destroyed.
    CTicker(std::atomic<bool>& flag, std::chrono::milliseconds period);
    ~CTicker();
    // False when no thread could be started: the flag is never raised.
    bool Running() const { return m_thread.joinable(); }
    CTicker(const CTicker&) = delete;
    CTicker& operator=(const CTicker&) = delete;

private:
    void Run();

    std::atomic<bool>& m_flag;
    const std::chrono::milliseconds m_period;
    CMutex m_mutex;
    std::condition_variable m_cv;
    bool m_bStop GUARDED_BY(m_mutex) = false;
    std::thread m_thread;
};

} // namespace platform
