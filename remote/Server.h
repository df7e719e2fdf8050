#pragma once
// The far end of a remote comparison: `octetwatch-cli --server`, started by the client through
// the rsh. It speaks on its standard input and output, asks no question, opens none of the
// program's own files, acts only on the one file the client names, and ends when its input
// closes.
namespace remote {

// Serves until the input ends; the exit status: 0 when the client closed the connection after a
// sound exchange, 2 when it spoke something else or the output failed.
int RunServer(int nIn, int nOut);

} // namespace remote
