#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace platform {

// printf-style formatting. The length modifier "I64" ("%I64d", "%010I64X", "%015I64d") takes a
// 64-bit integer; everything else is as in printf.
std::string Format(const char* fmt, ...);
std::string FormatV(const char* fmt, va_list args);
// Formats into `out`, reusing its storage: for hot paths that must not allocate.
void FormatTo(std::string& out, const char* fmt, ...);

// What "%0*I64X" and "%0*I64d" write, for the paths that write a line per difference: `value`
// with at least `width` characters, zero-padded (after the sign), into `out`; returns the end.
// `out` must have room for 20 characters or `width`, whichever is more.
char* PutHex(char* out, std::uint64_t value, int width);
char* PutDec(char* out, std::int64_t value, int width);
// Copies a literal (without its terminator) to `out`; returns the end. Its length is known where
// it is written, so nothing is counted at run time.
template <std::size_t N>
inline char* PutText(char* out, const char (&text)[N]) {
    std::memcpy(out, text, N - 1);
    return out + (N - 1);
}

} // namespace platform
