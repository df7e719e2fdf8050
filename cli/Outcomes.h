#pragma once
// What the command-line program says for each result of the window's commands, and the status
// it ends with, in one table.
#include "app/CommandResult.h"

#include <optional>
#include <string>
#include <vector>

// Exit statuses, as cmp has them.
constexpr int kSame = 0;
constexpr int kDifferent = 1;
constexpr int kTrouble = 2;

// Says on standard error what `result` calls for; `names` are FILE A, FILE B and the log as the
// user gave them. The status to end with, or nothing when the program goes on.
std::optional<int> Tell(const CommandResult& result, const std::vector<std::string>& names);
