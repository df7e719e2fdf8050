#pragma once
// Ends the process with a failure when a test does not get past a point in time: a hung wait
// must fail the test, not stall the run until ctest's time-out.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace testsupport {

class Watchdog {
public:
    Watchdog(int seconds, std::string what) : m_strWhat(std::move(what)) {
        m_thread = std::thread([this, seconds] {
            std::unique_lock lock(m_mutex);
            if (!m_cv.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_bDone; })) {
                std::fprintf(stderr, "HANG: %s did not finish within %d s\n", m_strWhat.c_str(),
                             seconds);
                std::_Exit(3);
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard lock(m_mutex);
            m_bDone = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::string m_strWhat;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bDone = false;
    std::thread m_thread;
};

} // namespace testsupport
