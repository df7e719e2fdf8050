#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test, in stages that fail fast:
#   unit      every test under AddressSanitizer and UndefinedBehaviorSanitizer (build/asan)
#   threaded  the threaded tests again under ThreadSanitizer (build/tsan)
#   package   every program in Release, the Debian package made from it, installed and run as an
#             unprivileged user (build/release)
#   fuzz      every library and program built by clang, whose mutex analysis (-Wthread-safety)
#             fails the build on a wrong annotation; then the database reader and the remote
#             client's decoders under libFuzzer, for a bounded time each (build/fuzz)
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
command -v ccache > /dev/null && export CMAKE_CXX_COMPILER_LAUNCHER=ccache
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
# The real sshd's session adds no thread to what the shim's sessions already run; the unit stage
# has run it.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L threaded -E ThroughARealSsh
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
if ! build/fuzz/fuzz/octw_fuzz_diffdb -max_total_time=20 -max_len=4096 build/fuzz/corpus \
    fuzz/corpus/diffdb > build/fuzz/fuzz.log 2>&1; then
  tail -n 40 build/fuzz/fuzz.log >&2
  echo "test.sh: the database reader failed under the fuzzer (build/fuzz/fuzz.log)" >&2
  exit 1
fi
echo "fuzz: $(tail -n 1 build/fuzz/fuzz.log)"
# The client's decoders, on what a hostile server could send.
if ! build/fuzz/fuzz/octw_fuzz_remote -max_total_time=20 -max_len=4096 build/fuzz/corpus-remote \
    fuzz/corpus/remote > build/fuzz/fuzz-remote.log 2>&1; then
  tail -n 40 build/fuzz/fuzz-remote.log >&2
  echo "test.sh: the remote client's decoders failed under the fuzzer (build/fuzz/fuzz-remote.log)" >&2
  exit 1
fi
echo "fuzz remote: $(tail -n 1 build/fuzz/fuzz-remote.log)"
stage_end fuzz
