#!/usr/bin/env bash
# Installs what is missing, builds the desktop program (Release), and starts its window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release > /dev/null
cmake --build build/release --target octetwatch octetwatch-cli -j "$(nproc)"
exe=build/release/desktop/octetwatch
if [ ! -x "$exe" ]; then
  echo "Built in build/release, but without the desktop program (OCTW_BUILD_GUI=OFF?)." >&2
  exit 1
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<MSG
Built $exe, but there is no display to open its window on (neither DISPLAY nor
WAYLAND_DISPLAY is set). Run this from a desktop session, or over ssh -X, or use the
command-line program in a terminal: build/release/cli/octetwatch-cli --help
MSG
  exit 1
fi
# The program keeps its files beside the executable, in the build folder.
exec "$exe" "$@"
