#pragma once
// The command line's own messages, each on a line of its own after the program's name.
#include <cstdio>
#include <string>

inline void SayTo(std::FILE* out, const std::string& text) {
    std::fputs(("octetwatch-cli: " + text + "\n").c_str(), out);
    std::fflush(out);
}
