#pragma once
// --json: one object a line, each range as it closes, then what the comparison came to.
#include "engine/CMyDiffMap.h"
#include "engine/CMyMakeFile.h"
#include "engine/CMyRangeTracker.h"

#include <cstdint>
#include <string>

// {"start":N,"end":N,"length":N,"a":"HEX","b":"HEX"}; a and b only for a range short enough
// that its bytes were kept.
void AppendJsonRange(std::string& out, const DiffRange& range);

// What the comparison came to, for the last object.
struct RunReport {
    RunResult m_run; // its outcome kNone: no run ended (none was started)
    bool m_bStopSignal = false;
    std::int64_t m_i64Ranges = 0;
    std::string m_strLog;
    const CMyDiffMap* m_pMap = nullptr;
};

// What the engine's last run came to, once its worker has ended.
RunReport ReportOf(const CMyMakeFile& engine, const std::string& strLog, bool bStopSignal);

// {"summary":{…}}, its keys as the manual page lists them.
std::string JsonSummary(const RunReport& report);
