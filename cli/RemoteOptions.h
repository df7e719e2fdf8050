#pragma once
// The options that say how a HOST:PATH file is reached, shared by the comparison and --patch:
// --rsh=COMMAND (or $OCTETWATCH_RSH) and --remote-program=COMMAND, each split into words as a
// shell splits them.
#include "engine/RemoteSource.h"

#include <string>

// The usage lines of the two options.
extern const char* const kRemoteUsage;

// Starts from the defaults and $OCTETWATCH_RSH; false with `*pstrError` when it cannot be split.
bool RemoteAccessFromEnvironment(RemoteAccess* pAccess, std::string* pstrError);
// Takes `arg` when it is one of the two options: true and `*pbTaken` set when it was; false with
// `*pstrError` when it is one of them and its command cannot be split.
bool TakeRemoteOption(const std::string& arg, RemoteAccess* pAccess, bool* pbTaken,
                      std::string* pstrError);
