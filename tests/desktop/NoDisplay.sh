#!/bin/sh
# octetwatch without a display: a clear message and a failure, not Qt's abort.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$1" 2>&1)
rc=$?
echo "$out"
[ "$rc" -ne 0 ] && [ "$rc" -lt 128 ] && echo "$out" | grep -q "no display"
