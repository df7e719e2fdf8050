#!/usr/bin/env bash
# Builds the programs in Release (build/release) and makes the Debian package from them. The
# package's path is the last line printed; install it with
#   sudo apt install ./build/release/octetwatch_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh package
command -v ccache > /dev/null && export CMAKE_CXX_COMPILER_LAUNCHER=ccache
# Options a caller gave this folder before (scripts/test.sh: warnings as errors) stay as they are.
cmake --preset release > /dev/null
cmake --build build/release -j "$(nproc)"
out=$(cd build/release && cpack -G DEB)
echo "$out"
deb=$(echo "$out" | sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' | tail -n 1)
if [ -z "$deb" ] || [ ! -f "$deb" ]; then
  echo "package.sh: cpack made no .deb" >&2
  exit 1
fi
echo "$deb"
