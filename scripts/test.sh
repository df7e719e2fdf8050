#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: all of them under AddressSanitizer and
# UndefinedBehaviorSanitizer, the threaded ones again under ThreadSanitizer, and the Debian
# package made from the Release build, installed and run as an unprivileged user.
set -euo pipefail
cd "$(dirname "$0")/.."
# Two runs building the same folders at once corrupt each other's objects (several people may work
# in one tree), so a later run waits for the earlier one.
mkdir -p build
exec 9> build/.test.lock
if ! flock -n 9; then
  echo "test.sh: another run is using build/asan and build/tsan; waiting for it" >&2
  flock 9
fi
scripts/deps.sh test

jobs=$(nproc)
# ccache, where a developer has it, shares objects between the builds of several work trees.
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
configure() { # dir, extra cmake arguments...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" > /dev/null
}

# Every target in Release, as a user or a packager builds it, must build without a warning.
configure build/release -DCMAKE_BUILD_TYPE=Release -DOCTW_WARNINGS_AS_ERRORS=ON
cmake --build build/release -j "$jobs"
# The package from that same build (its last line is the package's path), unpacked and run as
# the user nobody.
scripts/package.sh | tee build/package.log
tests/package/InstalledTest.sh "$(tail -n 1 build/package.log)"

configure build/asan -DOCTW_SANITIZE=address -DOCTW_WARNINGS_AS_ERRORS=ON
cmake --build build/asan -j "$jobs"
# Widgets are tested on Qt's offscreen platform: no display is needed.
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs"

# The difference database reader under libFuzzer, for a bounded time, built by clang in a folder
# of its own. New inputs it finds stay in build/fuzz/corpus; the seeds are in fuzz/corpus.
configure build/fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DOCTW_BUILD_GUI=OFF -DBUILD_TESTING=OFF \
  -DOCTW_WARNINGS_AS_ERRORS=ON
cmake --build build/fuzz -j "$jobs" --target octw_fuzz_diffdb
mkdir -p build/fuzz/corpus
if ! build/fuzz/fuzz/octw_fuzz_diffdb -max_total_time=45 -max_len=4096 build/fuzz/corpus \
    fuzz/corpus/diffdb > build/fuzz/fuzz.log 2>&1; then
  tail -n 40 build/fuzz/fuzz.log >&2
  echo "test.sh: the database reader failed under the fuzzer (build/fuzz/fuzz.log)" >&2
  exit 1
fi
echo "fuzz: $(tail -n 1 build/fuzz/fuzz.log)"

# Qt is not built with ThreadSanitizer, so the desktop program stays out of this build.
configure build/tsan -DOCTW_SANITIZE=thread -DOCTW_BUILD_GUI=OFF -DOCTW_WARNINGS_AS_ERRORS=ON
cmake --build build/tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L threaded
