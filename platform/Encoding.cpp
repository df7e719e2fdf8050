#include "platform/Encoding.h"

#include "platform/Faults.h"

#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace platform {
namespace {

// Length of the well-formed UTF-8 sequence at `p`, or 0 when it is not one.
std::size_t Utf8SequenceLength(const unsigned char* p, std::size_t left) {
    unsigned char c = p[0];
    std::size_t len;
    std::uint32_t min;
    if (c < 0x80)
        return 1;
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (left < len)
        return 0;
    std::uint32_t cp = c & (0x7F >> len);
    for (std::size_t i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

// One converter per direction and thread: iconv descriptors keep state and are not shareable.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter() {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    // Converts one whole character; false when it cannot be converted.
    bool Convert(const char* in, std::size_t inLen, std::string& out) {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            return false;
        char buf[16];
        char* src = const_cast<char*>(in);
        char* dst = buf;
        std::size_t srcLeft = inLen;
        std::size_t dstLeft = sizeof buf;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(m_cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) ||
            srcLeft != 0)
            return false;
        out.append(buf, static_cast<std::size_t>(dst - buf));
        return true;
    }

private:
    iconv_t m_cd;
};

Converter& ToCp932() {
    thread_local Converter conv("CP932", "UTF-8");
    return conv;
}

Converter& FromCp932() {
    thread_local Converter conv("UTF-8", "CP932");
    return conv;
}

// The last conversions of each character, by its UTF-8 bytes: the same few characters recur in
// every trace message, and asking iconv costs far more than looking them up.
struct CachedChar {
    std::uint32_t m_nKey = 0; // the UTF-8 bytes, 0 for none
    char m_out[3] = {};
    unsigned char m_nLen = 0; // 0: CP932 has no such character
};

bool ConvertCached(const unsigned char* p, std::size_t len, std::string& out) {
    thread_local CachedChar cache[256];
    std::uint32_t key = 0;
    for (std::size_t i = 0; i < len; ++i)
        key = (key << 8) | p[i];
    CachedChar& c = cache[(key ^ (key >> 8) ^ (key >> 16)) & 0xFF];
    if (c.m_nKey != key) {
        std::string one;
        const bool ok = ToCp932().Convert(reinterpret_cast<const char*>(p), len, one);
        if (one.size() > sizeof c.m_out) { // never for CP932; not kept
            out += one;
            return ok;
        }
        c.m_nKey = key;
        c.m_nLen = ok ? static_cast<unsigned char>(one.size()) : 0;
        std::copy(one.begin(), one.end(), c.m_out);
    }
    out.append(c.m_out, c.m_nLen);
    return c.m_nLen != 0;
}

bool IsCp932Lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsCp932Trail(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

bool CanOpen(const char* to, const char* from) {
    if (IFaultInjector* f = FaultInjector(); f && !f->OnOpenConverter())
        return false;
    const iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv_close(cd);
    return true;
}

} // namespace

std::size_t AsciiPrefix(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t run = 0;
    for (std::uint64_t eight; run + 8 <= text.size(); run += 8) {
        std::memcpy(&eight, p + run, 8);
        if (eight & 0x8080808080808080u)
            break;
    }
    while (run < text.size() && p[run] < 0x80)
        ++run;
    return run;
}

bool Cp932Available() {
    return CanOpen("CP932", "UTF-8") && CanOpen("UTF-8", "CP932");
}

void Utf8ToCp932(std::string_view in, std::string& out) {
    out.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    std::size_t left = in.size();
    while (left > 0) {
        if (*p < 0x80) { // a run of ASCII goes over at once
            const std::size_t run =
                AsciiPrefix(std::string_view(reinterpret_cast<const char*>(p), left));
            out.append(reinterpret_cast<const char*>(p), run);
            p += run;
            left -= run;
            continue;
        }
        std::size_t len = Utf8SequenceLength(p, left);
        if (len == 1) {
            out.push_back(static_cast<char>(*p));
        } else if (len == 0) {
            out.push_back(static_cast<char>(*p)); // not UTF-8: already a raw byte
            len = 1;
        } else if (!ConvertCached(p, len, out)) {
            out.push_back('?');
        }
        p += len;
        left -= len;
    }
}

std::string Utf8ToCp932(std::string_view in) {
    std::string out;
    Utf8ToCp932(in, out);
    return out;
}

std::string Cp932ToUtf8(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    std::size_t left = in.size();
    while (left > 0) {
        if (*p < 0x80) {
            out.push_back(static_cast<char>(*p));
            ++p;
            --left;
            continue;
        }
        // A lead byte without its trail byte stands alone, so the byte after it (a line end, say)
        // is not swallowed with it.
        std::size_t len = (IsCp932Lead(p[0]) && left >= 2 && IsCp932Trail(p[1])) ? 2 : 1;
        if (!FromCp932().Convert(reinterpret_cast<const char*>(p), len, out))
            out.push_back('?');
        p += len;
        left -= len;
    }
    return out;
}

} // namespace platform
