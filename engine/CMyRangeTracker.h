#pragma once
// The differences of a run joined into ranges of consecutive differing bytes, handed on as each
// one closes, whatever the store keeps.
#include "platform/WinTypes.h"

#include <cstdint>

// One maximal run of differing bytes; the bytes of each file are kept when it is short.
struct DiffRange {
    static constexpr std::int64_t kKeptBytes = 64;
    std::int64_t m_i64First = 0;
    std::int64_t m_i64Length = 0;
    BYTE m_bytesA[kKeptBytes] = {};
    BYTE m_bytesB[kKeptBytes] = {};

    std::int64_t Last() const { return m_i64First + m_i64Length - 1; }
    bool BytesKept() const { return m_i64Length <= kKeptBytes; }
};

// Takes each range as it closes, on the worker's thread.
class CMyRangeSink {
public:
    virtual ~CMyRangeSink() = default;
    virtual void OnRange(const DiffRange& range) = 0;
};

class CMyRangeTracker {
public:
    // Before a run; nullptr: no ranges are gathered.
    void Reset(CMyRangeSink* pSink);
    // The worker, per difference, in rising order of address.
    void Add(std::int64_t i64Adrs, BYTE bDataA, BYTE bDataB) {
        if (m_range.m_i64Length != 0 && i64Adrs == m_range.m_i64First + m_range.m_i64Length) {
            if (m_range.m_i64Length < DiffRange::kKeptBytes) {
                m_range.m_bytesA[m_range.m_i64Length] = bDataA;
                m_range.m_bytesB[m_range.m_i64Length] = bDataB;
            }
            ++m_range.m_i64Length;
            return;
        }
        Open(i64Adrs, bDataA, bDataB);
    }
    // Hands on the open range: the run has ended, or stopped, and nothing joins it any more.
    void Flush();
    // Ranges handed on since Reset.
    std::int64_t Count() const { return m_i64Count; }

private:
    void Open(std::int64_t i64Adrs, BYTE bDataA, BYTE bDataB);

    CMyRangeSink* m_pSink = nullptr;
    DiffRange m_range; // open while its length is not 0
    std::int64_t m_i64Count = 0;
};
