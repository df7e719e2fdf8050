#pragma once
#include <string>
#include <string_view>

namespace platform {

// UTF-8 to CP932. A character that CP932 cannot hold becomes "?". Bytes that are not UTF-8 at
// all pass through unchanged, so texts that are already CP932 bytes (and the trace marker's raw
// bytes) are written as they stand. `out` is replaced; its storage is reused.
void Utf8ToCp932(std::string_view in, std::string& out);
std::string Utf8ToCp932(std::string_view in);

// How many bytes at the start of the text are ASCII, which both encodings write alike.
std::size_t AsciiPrefix(std::string_view text);

// CP932 to UTF-8. A byte sequence that is not CP932 becomes "?".
std::string Cp932ToUtf8(std::string_view in);

// Whether the system can convert between UTF-8 and CP932 at all. Without it every non-ASCII
// character would become "?" in the files the program writes.
bool Cp932Available();

} // namespace platform
