#!/usr/bin/env bash
# Installs what is missing, builds Octetwatch, and starts it. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build/release -j "$(nproc)"
exe=build/release/platform/qt/octetwatch
if [ ! -x "$exe" ]; then
  echo "Built in build/release; the desktop program is not part of this build." >&2
  exit 1
fi
# The program keeps its files beside the executable, in the build folder.
exec "$exe" "$@"
