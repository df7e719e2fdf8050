#pragma once
// The free space of the result log's disk, as each difference line needs it, without a query of
// the file system per line. Between two measurements the blocks that the run's own log takes are
// counted off the last measured figure; the disk is measured again when that estimate comes near
// the reserve, and at least every 100 ms, since other programs may fill the disk too. While only
// this run writes to the disk, the answer near the reserve is always a fresh measurement, so the
// run stops at the very line a query per line would stop it at.
#include "platform/Ticker.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class CMyLogSpace {
public:
    static constexpr std::int64_t kNearBlocks = 16;
    static constexpr std::int64_t kMaxAgeMs = 100;

    // A new run: the next answer is measured. The age of a measurement is kept by a ticker
    // rather than a clock read per line.
    void Reset();
    // The run's log is closed: the ticker stops until the next run.
    void Stop();
    // Free bytes on the disk of the log `fd` (in folder `fold`), which holds `i64LogBytes` bytes
    // now; `i64Reserve` is the figure below which the caller gives up.
    std::int64_t FreeBytes(int fd, const std::string& fold, std::int64_t i64LogBytes,
                           std::int64_t i64Reserve);

private:
    std::int64_t BlocksOf(std::int64_t i64Bytes) const {
        return (i64Bytes + m_i64Block - 1) / m_i64Block;
    }

    bool m_bMeasured = false;
    bool m_bTicking = false;           // without a ticker every line is measured
    std::atomic<bool> m_bOld{false};   // raised every kMaxAgeMs by the ticker
    std::int64_t m_i64Free = 0;        // measured
    std::int64_t m_i64Block = 1;       // the disk's block size
    std::int64_t m_i64LogBlocks = 0;   // blocks the log took when the disk was measured
    std::unique_ptr<platform::CTicker> m_pTicker;
};
