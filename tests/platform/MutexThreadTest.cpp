// The annotated mutex: it excludes, a holder can let go for a while and take it back, and a
// waiter wakes to a condition another thread set under it.
#include "platform/Mutex.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

struct Shared {
    platform::CMutex m_mutex;
    std::condition_variable m_cv;
    long m_nCount GUARDED_BY(m_mutex) = 0;
    int m_nStep GUARDED_BY(m_mutex) = 0;
};

TEST(Mutex, TwoThreadsCountingUnderItLoseNoIncrement) {
    Shared s;
    auto count = [&s] {
        for (int i = 0; i < 100000; ++i) {
            platform::CMutexLock lock(s.m_mutex);
            ++s.m_nCount;
        }
    };
    std::thread other(count);
    count();
    other.join();
    platform::CMutexLock lock(s.m_mutex);
    EXPECT_EQ(s.m_nCount, 200000);
}

// The steps alternate strictly: each thread waits for the other's step, which it can only take
// while the first has let go (Unlock) or waits (Wait).
TEST(Mutex, UnlockAndWaitLetTheOtherThreadInAndTheHolderBackAfter) {
    Shared s;
    std::thread other([&s] {
        platform::CMutexLock lock(s.m_mutex);
        while (s.m_nStep != 1)
            lock.Wait(s.m_cv);
        s.m_nStep = 2;
        s.m_cv.notify_all();
        while (s.m_nStep != 3)
            lock.Wait(s.m_cv);
        s.m_nStep = 4;
        s.m_cv.notify_all();
    });
    platform::CMutexLock lock(s.m_mutex);
    s.m_nStep = 1;
    s.m_cv.notify_all();
    lock.Unlock();
    {
        // Free to take while let go, whether or not the other thread has had its turn.
        platform::CMutexLock again(s.m_mutex);
        s.m_nCount = 1;
    }
    lock.Lock();
    while (s.m_nStep != 2)
        lock.Wait(s.m_cv);
    s.m_nStep = 3;
    s.m_cv.notify_all();
    while (s.m_nStep != 4)
        lock.Wait(s.m_cv);
    EXPECT_EQ(s.m_nCount, 1);
    lock.Unlock();
    other.join();
}

} // namespace
