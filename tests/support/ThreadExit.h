#pragma once
// Tells a test that a thread is gone: set after the thread's function has returned and after
// whatever ran on the thread on its way out, which a flag set by the function cannot tell.
#include <condition_variable>
#include <mutex>

namespace testsupport {

class ThreadExit {
public:
    // Called on the thread to watch.
    void Watch() {
        thread_local Notifier notifier;
        notifier.m_pExit = this;
    }
    // Waits for it (a test bounds the wait by its watchdog).
    void Wait() {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return m_bGone; });
    }

private:
    struct Notifier {
        ThreadExit* m_pExit = nullptr;
        ~Notifier() {
            if (m_pExit)
                m_pExit->SetGone();
        }
    };
    void SetGone() {
        std::lock_guard lock(m_mutex);
        m_bGone = true;
        m_cv.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bGone = false;
};

} // namespace testsupport
