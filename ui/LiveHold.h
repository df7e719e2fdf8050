#pragma once
// The one hold of the worker's live display: the messages a worker posts one after another for
// the live display wait in the FIFO as one group, so that a flood of them neither wakes the UI
// thread for each nor overtakes, or is overtaken by, anything else the worker sends. How a group
// grows and when it may be handed out is the backend's policy.
#include "ui/Ui.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ui {

struct LivePolicy {
    // The live messages are those from m_nFirst to m_nLast; one shown item starts with m_nFirst
    // and ends with m_nLast. 0, 0 (as built): nothing is held.
    UINT m_nFirst = 0;
    UINT m_nLast = 0;
    // Keeps of a group only its latest whole item: a window shows only the latest anyway.
    bool m_bLatestOnly = false;
    // A group this long is closed, and the next message starts another; 0: no limit.
    std::size_t m_nMaxGroup = 0;
    // The group last in the FIFO is handed out no sooner than this long after its first message
    // (gathering, so that a flood costs a write now and then) ...
    std::int64_t m_i64GatherMs = 0;
    // ... nor than this long after the group handed out before it (the display's pace).
    std::int64_t m_i64PaceMs = 0;
    // At most this many bytes of live output wait in the FIFO; a worker with more waits for the
    // UI thread to take some. 0: no bound, for a backend whose groups cannot grow without end.
    std::size_t m_nBoundBytes = 0;

    bool IsLive(UINT message) const {
        return m_nFirst != 0 && message >= m_nFirst && message <= m_nLast;
    }
};

struct LiveMessage {
    UINT m_message;
    WPARAM m_wParam;
    LPARAM m_lParam;
};

// One group: its messages and when it was opened. It belongs to the queue and is guarded by the
// queue's mutex.
class LiveGroup {
public:
    LiveGroup(HWND target, std::int64_t i64OpenedMs) : m_target(target), m_i64OpenedMs(i64OpenedMs) {}

    // Adds a message; returns how many messages the policy merged away.
    std::size_t Add(const LiveMessage& message, const LivePolicy& policy);
    // True when it holds exactly one whole item.
    bool HoldsOneWholeItem(const LivePolicy& policy) const {
        return !m_messages.empty() && m_messages.front().m_message == policy.m_nFirst &&
               m_messages.back().m_message == policy.m_nLast;
    }
    // Drops every message, old news; returns how many.
    std::size_t Clear() {
        const std::size_t n = m_messages.size();
        m_messages.clear();
        return n;
    }
    // True when no more may join it.
    bool Full(const LivePolicy& policy) const {
        return policy.m_nMaxGroup != 0 && m_messages.size() >= policy.m_nMaxGroup;
    }
    // When a group that is last in the FIFO may be handed out, given when the one before it was
    // (a negative time when none was).
    std::int64_t DueMs(const LivePolicy& policy, std::int64_t i64LastHandedMs) const;
    // Handed to the target in order; returns how many.
    std::size_t Deliver() const;

    HWND Target() const { return m_target; }
    std::size_t Size() const { return m_messages.size(); }

private:
    HWND m_target;
    std::int64_t m_i64OpenedMs;
    std::vector<LiveMessage> m_messages;
};

} // namespace ui
