#include "platform/Format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace platform {
namespace {

// Rewrites the "I64" length modifier of each conversion as "ll". The result is never longer than
// the format, so the usual short literal fits a stack buffer; a longer one goes to the heap rather
// than being cut inside a conversion.
class TranslatedFormat {
public:
    explicit TranslatedFormat(const char* fmt) {
        const std::size_t len = std::strlen(fmt);
        char* out = m_small;
        if (len >= sizeof m_small) {
            m_big.resize(len);
            out = m_big.data();
        }
        std::size_t n = 0;
        for (const char* p = fmt; *p;) {
            if (*p != '%') {
                out[n++] = *p++;
                continue;
            }
            out[n++] = *p++;
            if (*p == '%') { // "%%"
                out[n++] = *p++;
                continue;
            }
            while (*p && std::strchr("-+ #0123456789.*", *p))
                out[n++] = *p++;
            if (std::strncmp(p, "I64", 3) == 0) {
                out[n++] = 'l';
                out[n++] = 'l';
                p += 3;
            }
        }
        out[n] = '\0';
        m_text = out;
    }
    TranslatedFormat(const TranslatedFormat&) = delete;
    TranslatedFormat& operator=(const TranslatedFormat&) = delete;
    const char* c_str() const { return m_text; }

private:
    char m_small[256];
    std::string m_big;
    const char* m_text = nullptr;
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

char* PutHex(char* out, std::uint64_t value, int width) {
    const int digits = std::max((67 - __builtin_clzll(value | 1)) / 4, width);
    for (int i = digits - 1; i >= 0; --i) {
        // Computed, not looked up: a table is one more memory line per line of the log.
        const auto d = static_cast<char>(value & 0xF);
        out[i] = static_cast<char>(d < 10 ? '0' + d : 'A' - 10 + d);
        value >>= 4;
    }
    return out + digits;
}

char* PutDec(char* out, std::int64_t value, int width) {
    // The magnitude as unsigned, so that the most negative value has one too.
    std::uint64_t u = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u != 0);
    if (value < 0) {
        *out++ = '-';
        --width;
    }
    for (int pad = width - n; pad > 0; --pad)
        *out++ = '0';
    while (n > 0)
        *out++ = digits[--n];
    return out;
}

} // namespace platform
