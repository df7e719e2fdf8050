#pragma once
#include "ui/Ui.h"

#include <string>
#include <string_view>

// Full path of the trace file; set once at start-up, before any worker exists.
extern std::string g_strTracePath;

// Appends the message's bytes to the trace file (CP932, "\n" stored as CR LF). The file is opened
// and closed on every call; calls from two threads are serialised so messages never interleave.
// When the file cannot be opened the message is lost, and a box says so, with the folder and the
// reason, once until a message is written again.
void WriteTrace(const std::string& strMessage);
// Traces the text and shows it in a box: what the user was told is in the trace, as a whole line.
void TraceAndShow(const std::string& strText, ui::BoxIcon icon = ui::BoxIcon::None);
// The same for a message already in the file's form (platform::FileForm).
void WriteTraceBytes(std::string_view bytes);

// Empties the trace file (start-up), unless another running program holds it: the lines are then
// appended, after one that says so. The file stays locked, shared, until the program ends or
// this is called again. A failure is silent.
void ResetTraceFile();
