#pragma once
// Descriptors 0-2 as a program finds them when it starts.

namespace platform {

// Opens /dev/null on each of descriptors 0-2 that is closed, so that no file the program opens
// later takes its number and receives what is meant for the terminal. Each is opened for reading
// only, as the C library does for set-user-ID programs: a write to an output that was closed still
// fails, so output that had nowhere to go is noticed as before, and standard input reads as empty.
// Call it first in main, before anything is opened. False when /dev/null cannot be opened.
bool OpenClosedStandardDescriptors();

} // namespace platform
