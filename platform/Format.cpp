#include "platform/Format.h"

#include <cstdio>
#include <cstring>

namespace platform {
namespace {

// Rewrites the "I64" length modifier of each conversion as "ll". Formats are short literals, so a
// stack buffer holds them; a longer one is cut to what fits, which no caller reaches.
class TranslatedFormat {
public:
    explicit TranslatedFormat(const char* fmt) {
        std::size_t n = 0;
        const std::size_t last = sizeof m_text - 3; // room for "ll" and the terminator
        for (const char* p = fmt; *p && n < last;) {
            if (*p != '%') {
                m_text[n++] = *p++;
                continue;
            }
            m_text[n++] = *p++;
            if (*p == '%') { // "%%"
                m_text[n++] = *p++;
                continue;
            }
            while (*p && n < last && std::strchr("-+ #0123456789.*", *p))
                m_text[n++] = *p++;
            if (std::strncmp(p, "I64", 3) == 0) {
                m_text[n++] = 'l';
                m_text[n++] = 'l';
                p += 3;
            }
        }
        m_text[n] = '\0';
    }
    const char* c_str() const { return m_text; }

private:
    char m_text[1024];
};

void FormatInto(std::string& out, const char* fmt, va_list args) {
    TranslatedFormat tf(fmt);
    va_list copy;
    va_copy(copy, args);
    out.resize(out.capacity() > 0 ? out.capacity() : 15);
    int n = std::vsnprintf(out.data(), out.size() + 1, tf.c_str(), copy);
    va_end(copy);
    if (n < 0) {
        out.clear();
        return;
    }
    if (static_cast<std::size_t>(n) > out.size()) {
        out.resize(static_cast<std::size_t>(n));
        std::vsnprintf(out.data(), out.size() + 1, tf.c_str(), args);
    } else {
        out.resize(static_cast<std::size_t>(n));
    }
}

} // namespace

std::string FormatV(const char* fmt, va_list args) {
    std::string out;
    FormatInto(out, fmt, args);
    return out;
}

std::string Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string out = FormatV(fmt, args);
    va_end(args);
    return out;
}

void FormatTo(std::string& out, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    FormatInto(out, fmt, args);
    va_end(args);
}

} // namespace platform
