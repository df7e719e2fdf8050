#include "engine/CMyRangeTracker.h"

void CMyRangeTracker::Reset(CMyRangeSink* pSink) {
    m_pSink = pSink;
    m_range.m_i64Length = 0;
    m_i64Count = 0;
}

void CMyRangeTracker::Open(std::int64_t i64Adrs, BYTE bDataA, BYTE bDataB) {
    Flush();
    m_range.m_i64First = i64Adrs;
    m_range.m_i64Length = 1;
    m_range.m_bytesA[0] = bDataA;
    m_range.m_bytesB[0] = bDataB;
}

void CMyRangeTracker::Flush() {
    if (m_range.m_i64Length == 0)
        return;
    ++m_i64Count;
    if (m_pSink != nullptr)
        m_pSink->OnRange(m_range);
    m_range.m_i64Length = 0;
}
