#pragma once
// Where along the files the differences lie, as one line of block characters for a terminal.
#include "engine/CMyDiffMap.h"

#include <string>

// "FIRST BARS LAST", `nColumns` characters wide: the addresses of the two ends as the log writes
// them, and between them the map's buckets folded into one bar a column (▁ none, ▂ to █ up to the
// most of any column). Empty when nothing was compared.
std::string MapPicture(const CMyDiffMap& map, int nColumns);

// What the command line adds to the summary: the log it wrote and, with `nColumns` (0: none),
// the picture; each on a line.
std::string SummaryEnding(const CMyDiffMap& map, const std::string& strLog, int nColumns);
