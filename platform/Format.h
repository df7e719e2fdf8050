#pragma once
#include <cstdarg>
#include <string>

namespace platform {

// printf-style formatting. The length modifier "I64" ("%I64d", "%010I64X", "%015I64d") takes a
// 64-bit integer; everything else is as in printf.
std::string Format(const char* fmt, ...);
std::string FormatV(const char* fmt, va_list args);
// Formats into `out`, reusing its storage: for hot paths that must not allocate.
void FormatTo(std::string& out, const char* fmt, ...);

} // namespace platform
