#pragma once
// What the user reads about the end of a run: the summary, and the notes that say what a run
// left unfinished. The window's boxes and the command-line program share them.
#include <cstdint>
#include <string>

// The summary box. Files of different sizes are not the same whatever their common part: the
// note after the three sizes says so and which file is the shorter.
std::string SummaryText(std::int64_t i64DiffCount, std::int64_t i64SizeA, std::int64_t i64SizeB,
                        std::int64_t i64SearchSize);
bool IsSummaryText(const std::string& strText);

// A log that ends without its closing lines, and no database: after a stop or a full disk.
std::string UnfinishedLogText(const std::string& strLogFile);
// bLogWritten FALSE: the stop came before the files were opened, and the log is as it was.
std::string StoppedText(const std::string& strLogFile, bool bLogWritten = true);
std::string DiskFullText(const std::string& strLogFile);

// The database holds fewer differences than the run found (the store's limit).
std::string DataBasePartText(std::int64_t i64Found, std::int64_t i64Kept);
