#pragma once
// The ranges of differing bytes as the command line prints them while the run goes on.
#include "engine/CMyRangeTracker.h"

#include <functional>
#include <string>

// "FIRST-LAST LENGTH": the addresses as the log writes them, the length in decimal.
void AppendRangeText(std::string& out, const DiffRange& range);

// Hands each range, formatted as text or as a JSON object, to `print` as it closes (on the
// worker's thread).
class CRangePrinter : public CMyRangeSink {
public:
    enum class Form { kText, kJson };
    CRangePrinter(Form form, std::function<void(const std::string&)> print)
        : m_form(form), m_print(std::move(print)) {}
    void OnRange(const DiffRange& range) override;

private:
    Form m_form;
    std::function<void(const std::string&)> m_print;
    std::string m_strLine; // its room kept from range to range
};
