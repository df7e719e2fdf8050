#include "ui/LiveHold.h"

#include <algorithm>

namespace ui {
namespace {

// Only a stream that never ends an item gets this long when only the latest is kept; memory stays
// bounded anyway.
constexpr std::size_t kMaxUnended = 64;
constexpr std::size_t kItemMessages = 3;

} // namespace

std::size_t LiveGroup::Add(const LiveMessage& message, const LivePolicy& policy) {
    m_messages.push_back(message);
    if (!policy.m_bLatestOnly)
        return 0;
    std::size_t merged = 0;
    // A whole item makes every older one undeliverable news; the item itself must arrive whole
    // and in order for the line to agree.
    if (message.m_message == policy.m_nLast) {
        auto start = std::find_if(m_messages.rbegin(), m_messages.rend(), [&](const LiveMessage& m) {
            return m.m_message == policy.m_nFirst;
        });
        if (start != m_messages.rend()) {
            auto first = start.base() - 1;
            merged = static_cast<std::size_t>(first - m_messages.begin());
            m_messages.erase(m_messages.begin(), first);
        }
    }
    if (m_messages.size() > kMaxUnended) {
        merged += m_messages.size() - kItemMessages;
        m_messages.erase(m_messages.begin(), m_messages.end() - kItemMessages);
    }
    return merged;
}

std::int64_t LiveGroup::DueMs(const LivePolicy& policy, std::int64_t i64LastHandedMs) const {
    std::int64_t due = m_i64OpenedMs + policy.m_i64GatherMs;
    if (i64LastHandedMs >= 0)
        due = std::max(due, i64LastHandedMs + policy.m_i64PaceMs);
    return due;
}

std::size_t LiveGroup::Deliver() const {
    if (!m_target)
        return 0;
    for (const LiveMessage& m : m_messages)
        m_target->WindowProc(m.m_message, m.m_wParam, m.m_lParam);
    return m_messages.size();
}

} // namespace ui
