#pragma once
// A mutex the compiler can check: clang's -Wthread-safety knows which members each one guards
// and which functions must hold it. libstdc++'s std::mutex carries no such capability, so it is
// wrapped here; other compilers see the annotations as nothing.
#include <chrono>
#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define OCTW_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define OCTW_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) OCTW_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY OCTW_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) OCTW_THREAD_ANNOTATION(guarded_by(x))
#define REQUIRES(...) OCTW_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) OCTW_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) OCTW_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define EXCLUDES(...) OCTW_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))

namespace platform {

class CAPABILITY("mutex") CMutex {
public:
    CMutex() = default;
    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;

    void Lock() ACQUIRE() { m_mutex.lock(); }
    void Unlock() RELEASE() { m_mutex.unlock(); }

private:
    friend class CMutexLock;
    std::mutex m_mutex;
};

// Holds a CMutex for its scope. Unlock and Lock drop it for a while (to notify, or to call out)
// and take it back; Wait drops it only inside the condition variable's wait and returns with it
// held, so to the analysis the mutex is held throughout. A waiter states its condition in a loop
// around Wait, in the function that holds the lock, where the analysis sees what it reads.
class SCOPED_CAPABILITY CMutexLock {
public:
    explicit CMutexLock(CMutex& mutex) ACQUIRE(mutex) : m_lock(mutex.m_mutex) {}
    ~CMutexLock() RELEASE() {}
    CMutexLock(const CMutexLock&) = delete;
    CMutexLock& operator=(const CMutexLock&) = delete;

    void Unlock() RELEASE() { m_lock.unlock(); }
    void Lock() ACQUIRE() { m_lock.lock(); }

    void Wait(std::condition_variable& cv) { cv.wait(m_lock); }
    // False when the time ran out.
    bool WaitFor(std::condition_variable& cv, std::chrono::milliseconds ms) {
        return cv.wait_for(m_lock, ms) == std::cv_status::no_timeout;
    }

private:
    std::unique_lock<std::mutex> m_lock;
};

} // namespace platform
