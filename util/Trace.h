#pragma once
#include <string>
#include <string_view>

// Full path of the trace file; set once at start-up, before any worker exists.
extern std::string g_strTracePath;

// Appends the message's bytes to the trace file (CP932, "\n" stored as CR LF). The file is opened
// and closed on every call; calls from two threads are serialised so messages never interleave.
// When the file cannot be opened, a box says so and the message is lost.
void WriteTrace(const std::string& strMessage);
// The same for a message already in the file's form (platform::FileForm).
void WriteTraceBytes(std::string_view bytes);

// Empties the trace file (start-up); a failure is silent.
void ResetTraceFile();
