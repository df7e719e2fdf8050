#pragma once
// Values the UI thread and a worker may both see, each with its thread rule in its type, so that
// the rule is kept by the compiler or checked where it is used rather than written in a comment.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace ui {

// A flag the two threads share as a plain word, without a lock: a thread writes a whole value,
// the other polls it. Nothing else is published through it (what a worker produces reaches the UI
// thread through the queue), and there is no read-modify-write: two writers that each read the
// flag first would lose a write.
template <class T>
class CPolledFlag {
    static_assert(std::atomic<T>::is_always_lock_free, "polled without a lock");

public:
    constexpr CPolledFlag() noexcept = default;
    constexpr CPolledFlag(T value) noexcept : m_value(value) {}
    CPolledFlag(const CPolledFlag&) = delete;
    CPolledFlag& operator=(const CPolledFlag&) = delete;

    CPolledFlag& operator=(T value) noexcept {
        m_value.store(value);
        return *this;
    }
    operator T() const noexcept { return m_value.load(); }

private:
    std::atomic<T> m_value{};
};

// A value that belongs to the UI thread (the thread that made it): only that thread reads or
// writes it, so it needs no lock. A touch from any other thread is a fault of the program, which
// then ends with a message instead of racing.
template <class T>
class CUiThreadOnly {
public:
    CUiThreadOnly(T value = T{}) : m_value(value) {}
    CUiThreadOnly(const CUiThreadOnly&) = delete;
    CUiThreadOnly& operator=(const CUiThreadOnly&) = delete;

    CUiThreadOnly& operator=(T value) {
        Check();
        m_value = value;
        return *this;
    }
    operator T() const {
        Check();
        return m_value;
    }

private:
    void Check() const {
        if (std::this_thread::get_id() != m_owner) {
            std::fputs("octetwatch: a value of the UI thread was used on another thread\n", stderr);
            std::abort();
        }
    }
    T m_value;
    const std::thread::id m_owner = std::this_thread::get_id();
};

} // namespace ui
