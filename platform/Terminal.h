#pragma once
// What a picture drawn for a terminal needs to know of it.

namespace platform {

// Whether the descriptor is a terminal.
bool IsTerminal(int fd);

// How many columns the terminal on the descriptor has; when it cannot say, $COLUMNS, and 80 when
// that is not a number either.
int TerminalColumns(int fd);

} // namespace platform
