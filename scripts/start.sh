#!/usr/bin/env bash
# Installs what is missing, builds Octetwatch, and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build/release -j "$(nproc)"
echo "Built in build/release: the libraries of Octetwatch."
