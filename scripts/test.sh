#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test, in stages that fail fast:
#   unit      every test under AddressSanitizer and UndefinedBehaviorSanitizer (build/asan)
#   threaded  the threaded tests again under ThreadSanitizer (build/tsan)
#   package   every program in Release, the Debian package made from it, installed and run as an
#             unprivileged user (build/release)
#   fuzz      every library and program built by clang, whose mutex analysis (-Wthread-safety)
#             fails the build on a wrong annotation; then the database reader and the remote
#             client's decoders under libFuzzer, side by side for a bounded time (build/fuzz)
# Each stage prints its time. `scripts/test.sh --quick` runs the unit stage alone.
set -euo pipefail
cd "$(dirname "$0")/.."
quick=false
case "${1:-}" in
  "") ;;
  --quick) quick=true ;;
  *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
esac
# Two runs building the same folders at once corrupt each other's objects (several people may work
# in one tree), so a later run waits for the earlier one.
mkdir -p build
exec 9> build/.test.lock
if ! flock -n 9; then
  echo "test.sh: another run is using the build folders; waiting for it" >&2
  flock 9
fi
scripts/deps.sh test

jobs=$(nproc)
# ccache, where a developer has it, shares objects between the builds of several work trees.
# The tests share a precompiled header, which ccache caches only when told to.
if command -v ccache > /dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_SLOPPINESS=${CCACHE_SLOPPINESS:-pch_defines,time_macros}
fi
# Warnings are errors for developers and CI; the presets leave them off for everyone else.
configure() { # preset
  cmake --preset "$1" -DOCTW_WARNINGS_AS_ERRORS=ON > /dev/null
}
stage_start=0
stage() { stage_start=$SECONDS; echo "== stage $1" >&2; }
stage_end() { echo "== stage $1: $((SECONDS - stage_start)) s" >&2; }

stage unit
configure asan
cmake --build build/asan -j "$jobs"
# Widgets are tested on Qt's offscreen platform: no display is needed.
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs"
stage_end unit
$quick && exit 0

stage threaded
configure tsan
# Only what the threaded tests need is built.
cmake --build build/tsan -j "$jobs" --target octw_threaded_tests
# Left to the unit stage: the real sshd's session, whose threads the shim's sessions run as well,
# and the pairs over 4 GiB, whose threads smaller pairs run as well (cmp and the full reading of
# their holes take most of the time).
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L threaded \
  -E 'ThroughARealSsh|RangesAndJsonAgreeWithCmp|over_four_gib'
stage_end threaded

stage package
# Every program in Release, as a user or a packager builds it, must build without a warning.
configure release
cmake --build build/release -j "$jobs"
# The package from that same build (its last line is the package's path), unpacked and run as
# the user nobody.
scripts/package.sh | tee build/package.log
tests/package/InstalledTest.sh "$(tail -n 1 build/package.log)"
stage_end package

stage fuzz
# New inputs the fuzzer finds stay in build/fuzz/corpus; the seeds are in fuzz/corpus.
configure fuzz
cmake --build build/fuzz -j "$jobs"
mkdir -p build/fuzz/corpus build/fuzz/corpus-remote
# The two targets at once, one a core: the database reader, and the remote client's decoders on
# what a hostile server could send.
fuzz() { # binary corpus seeds log
  "build/fuzz/fuzz/$1" -max_total_time=25 -max_len=4096 "build/fuzz/$2" "fuzz/corpus/$3" > "$4" 2>&1
}
fuzz octw_fuzz_diffdb corpus diffdb build/fuzz/fuzz.log & diffdb=$!
fuzz octw_fuzz_remote corpus-remote remote build/fuzz/fuzz-remote.log & remote=$!
# Waits for one of them and says how it went.
fuzzed() { # pid what log
  if wait "$1"; then
    echo "fuzz $2: $(tail -n 1 "$3")"
    return 0
  fi
  tail -n 40 "$3" >&2
  echo "test.sh: $2 failed under the fuzzer ($3)" >&2
  return 1
}
ok=true
fuzzed "$diffdb" "the database reader" build/fuzz/fuzz.log || ok=false
fuzzed "$remote" "the remote client's decoders" build/fuzz/fuzz-remote.log || ok=false
$ok || exit 1
stage_end fuzz
