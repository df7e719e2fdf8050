#pragma once
// Sizes as the program shows them to a person.
#include <cstdint>
#include <string>

// The value with its digits grouped by three: "1,234,567".
std::string GroupedDigits(std::int64_t i64Value);
// The note that two files of different sizes are compared over the shorter one's length.
std::string SizesDifferText(std::int64_t i64SearchSize);
