#include "cli/RangeOutput.h"

#include "cli/JsonOutput.h"
#include "platform/Format.h"

void AppendRangeText(std::string& out, const DiffRange& range) {
    char text[64];
    char* p = platform::PutHex(text, static_cast<std::uint64_t>(range.m_i64First), 10);
    *p++ = '-';
    p = platform::PutHex(p, static_cast<std::uint64_t>(range.Last()), 10);
    *p++ = ' ';
    p = platform::PutDec(p, range.m_i64Length, 1);
    out.append(text, p);
}

void CRangePrinter::OnRange(const DiffRange& range) {
    m_strLine.clear();
    if (m_form == Form::kText)
        AppendRangeText(m_strLine, range);
    else
        AppendJsonRange(m_strLine, range);
    m_print(m_strLine);
}
