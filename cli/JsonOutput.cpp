#include "cli/JsonOutput.h"

#include "platform/Format.h"

namespace {

void AppendNumber(std::string& out, const char* key, std::int64_t value) {
    char text[24];
    out.append(",\"").append(key).append("\":");
    out.append(text, platform::PutDec(text, value, 1));
}

void AppendHex(std::string& out, const BYTE* bytes, std::int64_t n) {
    for (std::int64_t i = 0; i < n; ++i) {
        char text[4];
        out.append(text, platform::PutHex(text, bytes[i], 2));
    }
}

// The length of the UTF-8 sequence at `p`, 0 when it is not one (overlong, a surrogate, beyond
// U+10FFFF, or cut short).
std::size_t Utf8Length(const unsigned char* p, std::size_t left) {
    const unsigned char c = p[0];
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (left < n)
        return 0;
    for (std::size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
    if (overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return 0;
    return n;
}

// A path as a JSON string. JSON text is UTF-8: a byte of a name that is not (a name made under
// another encoding) becomes U+FFFD.
void AppendString(std::string& out, const std::string& text) {
    out.push_back('"');
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = p[i];
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            char* end = platform::PutText(hex, "\\u00");
            out.append(hex, platform::PutHex(end, c, 2));
        } else if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (const std::size_t n = Utf8Length(p + i, text.size() - i); n != 0) {
            out.append(text, i, n);
            i += n;
            continue;
        } else {
            out.append("\\uFFFD");
        }
        ++i;
    }
    out.push_back('"');
}

// What became of the run, and why when it did not complete.
std::pair<const char*, const char*> OutcomeNames(RunOutcome outcome, bool bStopSignal) {
    switch (outcome) {
    case RunOutcome::kCompleted:
        return {"completed", nullptr};
    case RunOutcome::kStopped:
    case RunOutcome::kAbandoned:
        return {"stopped", nullptr};
    case RunOutcome::kLogUnfinished:
        return {"failed", "log_unfinished"};
    case RunOutcome::kDeclined:
        return {"failed", "declined"};
    case RunOutcome::kOpenFailed:
        return {"failed", "open_failed"};
    case RunOutcome::kLogBusy:
        return {"failed", "log_busy"};
    case RunOutcome::kReadFailed:
        return {"failed", "read_failed"};
    case RunOutcome::kDiskReserve:
        return {"failed", "disk_full"};
    case RunOutcome::kLogWriteFailed:
        return {"failed", "log_write_failed"};
    case RunOutcome::kFileChanged:
        return {"failed", "file_changed"};
    case RunOutcome::kNone:
        break;
    }
    return bStopSignal ? std::pair<const char*, const char*>{"stopped", nullptr}
                       : std::pair<const char*, const char*>{"failed", "not_started"};
}

} // namespace

void AppendJsonRange(std::string& out, const DiffRange& range) {
    out.append("{\"start\":");
    char text[24];
    out.append(text, platform::PutDec(text, range.m_i64First, 1));
    AppendNumber(out, "end", range.Last());
    AppendNumber(out, "length", range.m_i64Length);
    if (range.BytesKept()) {
        out.append(",\"a\":\"");
        AppendHex(out, range.m_bytesA, range.m_i64Length);
        out.append("\",\"b\":\"");
        AppendHex(out, range.m_bytesB, range.m_i64Length);
        out.push_back('"');
    }
    out.push_back('}');
}

RunReport ReportOf(const CMyMakeFile& engine, const std::string& strLog, bool bStopSignal) {
    RunReport report;
    report.m_run = engine.Result();
    report.m_bStopSignal = bStopSignal;
    report.m_i64Ranges = engine.RangeCount();
    report.m_strLog = strLog;
    report.m_pMap = &engine.DiffMap();
    return report;
}

std::string JsonSummary(const RunReport& report) {
    // A stop signal may end even a run whose every byte was compared before the database or the
    // repair: the comparison itself is what is reported.
    const auto [outcome, reason] = OutcomeNames(report.m_run.m_outcome, report.m_bStopSignal);
    const bool completed = report.m_run.m_outcome == RunOutcome::kCompleted;
    std::string out = "{\"summary\":{\"outcome\":\"";
    out.append(outcome).append("\",\"reason\":");
    out.append(reason != nullptr ? std::string("\"") + reason + "\"" : std::string("null"));
    // Whether they are the same is known only when every byte was compared.
    out.append(",\"same\":");
    out.append(!completed ? "null"
               : report.m_run.m_i64DiffCount == 0 && report.m_run.m_i64SizeA == report.m_run.m_i64SizeB
                   ? "true"
                   : "false");
    AppendNumber(out, "size_a", report.m_run.m_i64SizeA);
    AppendNumber(out, "size_b", report.m_run.m_i64SizeB);
    AppendNumber(out, "compared", report.m_run.m_i64SearchSize);
    AppendNumber(out, "differences", report.m_run.m_i64DiffCount);
    AppendNumber(out, "ranges", report.m_i64Ranges);
    out.append(",\"log\":");
    AppendString(out, report.m_strLog);
    const CMyDiffMap* map = report.m_pMap;
    const int buckets = map != nullptr ? map->Buckets() : 0;
    out.append(",\"map\":{\"length\":");
    char text[24];
    out.append(text, platform::PutDec(text, map != nullptr ? map->Length() : 0, 1));
    AppendNumber(out, "buckets", buckets);
    out.append(",\"counts\":[");
    for (int i = 0; i < buckets; ++i) {
        if (i != 0)
            out.push_back(',');
        out.append(text, platform::PutDec(text, map->Count(i), 1));
    }
    out.append("]}}}");
    return out;
}
