#pragma once
// Splits a command given as one string (an rsh command, the remote program) into words as a
// POSIX shell splits them: blanks separate words; single quotes keep everything up to the next
// one; double quotes keep everything but a backslash before $ ` " \ or a newline; a backslash
// outside quotes keeps the next character (a backslash-newline is removed). Nothing is expanded.
#include <optional>
#include <string>
#include <vector>

// The words, or nothing when a quote is left open or the string ends in a lone backslash.
std::optional<std::vector<std::string>> SplitShellWords(const std::string& strCommand);
