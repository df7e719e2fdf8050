#pragma once
// Standard output's end, checked as cmp checks it: output that did not arrive is trouble.

namespace platform {

// Flushes and closes standard output. True when everything written to it arrived. Otherwise false,
// with the cause in `*pErrno`, or 0 there when the stream had failed earlier and its cause is
// known only to the writer that saw it. A standard output closed from the start that was given
// nothing is not a failure.
bool CloseStandardOutput(int* pErrno);

} // namespace platform
