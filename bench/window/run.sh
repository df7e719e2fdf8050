#!/usr/bin/env bash
# What live display costs in the desktop window on the diff-every-64 case (64 MiB files that
# differ at every 64th byte, database on): median run time with the display off and on, and
# their ratio, measured alternately in one process. Builds what it needs in build/bench-window.
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${OCTW_BENCH_RUNS:-3}
cmake -S . -B build/bench-window -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF > /dev/null
cmake --build build/bench-window --target octw_bench_window -j 2 | grep -E "error|FAILED" -A3 >&2 || true
bench=build/bench-window/bench/window/octw_bench_window
work=$(mktemp -d "${TMPDIR:-/tmp}/octw-bench-window.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$bench" make "$work"
"$bench" run "$work" "$runs"
