#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
#   scripts/deps.sh           what building and running the programs needs
#   scripts/deps.sh package   and what making the Debian package needs
#   scripts/deps.sh test      and what the tests need, the package's included
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config googletest libgtest-dev libssl-dev
          qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libgl-dev fonts-ipafont-gothic
          xvfb xauth)
# cpack's DEB generator finds the programs with file and their libraries with dpkg-shlibdeps.
package_tools=(dpkg-dev file)
# The installed package is checked with the tools a distribution checks it with, and its window
# is closed with a key press. The database reader is fuzzed with clang's libFuzzer. Faults of
# the kernel (a failed write or flush) are injected into the real program with strace. A file on
# another machine is reached through a real sshd on 127.0.0.1.
test_tools=(lintian desktop-file-utils appstream man-db xdotool clang-14 libclang-rt-14-dev strace
            openssh-server openssh-client python3)
case "${1:-}" in
  "") ;;
  package) packages+=("${package_tools[@]}") ;;
  test) packages+=("${package_tools[@]}" "${test_tools[@]}") ;;
  *) echo "usage: scripts/deps.sh [package|test]" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
