#!/bin/sh
# An rsh for the benchmark: drops the host and runs the remote command here, both directions
# relayed through a throttle ($OCTW_THROTTLE, a command copying its input to its output at the
# link's rate), as over a slow network.
shift
$OCTW_THROTTLE | sh -c "$*" | $OCTW_THROTTLE
