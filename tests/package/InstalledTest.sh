#!/usr/bin/env bash
# The Debian package as a user gets it. It is unpacked into a temporary root and its programs
# are run there as an unprivileged user (nobody) with a home folder of its own: installed, the
# files go to the XDG folders and nothing is written beside the program; copied into a folder
# the user owns, they lie beside it. The package's metadata is checked with the tools a
# distribution checks it with. Needs root (to become nobody), as CI has.
#
#   tests/package/InstalledTest.sh build/release/octetwatch_<version>_<arch>.deb
set -uo pipefail

if [ $# -ne 1 ] || [ ! -f "$1" ]; then
  echo "usage: $0 PACKAGE.deb" >&2
  exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "$0: must run as root, to run the programs as nobody" >&2
  exit 2
fi
deb=$(realpath "$1")

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok   - $1"; }
fail() {
  failed=$((failed + 1))
  echo "FAIL - $1" >&2
  shift
  [ $# -gt 0 ] && printf '       %s\n' "$@" >&2
  return 0
}
# check NAME COMMAND...: passes when the command succeeds; its output is shown when it fails.
check() {
  local name=$1 out
  shift
  if out=$("$@" 2>&1); then pass "$name"; else fail "$name" "$out"; fi
}

work=$(mktemp -d /tmp/octw-package-XXXXXX)
xvfb_pid=""
gui_pid=""
cleanup() {
  [ -n "$gui_pid" ] && kill "$gui_pid" 2> /dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2> /dev/null
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"

root=$work/root
home=$work/home
data=$work/data
mkdir -p "$home" "$data" "$work/run"
dpkg-deb -x "$deb" "$root"
chown nobody:nogroup "$home" "$data" "$work/run"
chmod 700 "$home" "$work/run"

# A on both sides, B differing at two places: the run finds two differences.
printf 'ABCDEFGH' > "$data/a.bin"
printf 'ABxDEFyH' > "$data/b.bin"
chown nobody:nogroup "$data"/*.bin

# as_nobody [VAR=VALUE...] -- COMMAND...: runs the command as nobody in the data folder, with a
# clean environment: HOME, a UTF-8 locale, a runtime folder, and the variables given.
as_nobody() {
  local vars=()
  while [ "$1" != "--" ]; do vars+=("$1"); shift; done
  shift
  (cd "$data" && setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 XDG_RUNTIME_DIR="$work/run" \
    "${vars[@]}" "$@")
}
# Mode, owner and kind of a path, e.g. "700 nobody directory".
stat_of() { stat -c '%a %U %F' "$1" 2> /dev/null || echo "missing"; }
# What lies below the unpacked root, with each entry's size and time.
snapshot() { find "$root" -printf '%p %s %T@\n' | sort; }
marker=$(printf '\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF\r\n' | od -An -tx1)
starts_with_marker() { [ "$(head -c 18 "$1" 2> /dev/null | od -An -tx1)" = "$marker" ]; }
# The database of the two differences at 2 and 6: count, then address, byte A, byte B.
expected_db=$(printf '\x02\0\0\0\0\0\0\0\x02\0\0\0\0\0\0\0Cx\x06\0\0\0\0\0\0\0Gy' | od -An -tx1)
db_of() { od -An -tx1 "$1" 2> /dev/null; }

cli=$root/usr/bin/octetwatch-cli
gui=$root/usr/bin/octetwatch

# --- what the package holds -------------------------------------------------------------------
id=org.octetwatch.Octetwatch
expected_files="./usr/bin/octetwatch
./usr/bin/octetwatch-cli
./usr/share/applications/$id.desktop
./usr/share/doc/octetwatch/changelog.gz
./usr/share/doc/octetwatch/copyright"
for size in 16 32 48 64 128 256; do
  expected_files+=$'\n'"./usr/share/icons/hicolor/${size}x$size/apps/$id.png"
done
expected_files+="
./usr/share/icons/hicolor/scalable/apps/$id.svg
./usr/share/man/man1/octetwatch-cli.1.gz
./usr/share/man/man1/octetwatch.1.gz
./usr/share/metainfo/$id.metainfo.xml"
actual_files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
check "the package holds both programs, the desktop entry, the metainfo, the icons, the manual pages and the Debian docs" \
  test "$actual_files" = "$(sort <<< "$expected_files")"
[ "$actual_files" = "$(sort <<< "$expected_files")" ] ||
  diff <(sort <<< "$expected_files") <(echo "$actual_files") >&2
depends=$(dpkg-deb -f "$deb" Depends)
check "Depends names Qt's widgets (from dpkg-shlibdeps) and the font: $depends" \
  bash -c '[[ "$1" == *libqt6widgets6* && "$1" == *fonts-ipafont-gothic* && "$1" == *libc6* ]]' _ "$depends"
for size in 16 32 48 64 128 256; do
  png=$root/usr/share/icons/hicolor/${size}x$size/apps/$id.png
  check "the ${size} px icon is ${size} x ${size}" \
    bash -c '[ "$(file -b "$1")" = "PNG image data, $2 x $2, 8-bit/color RGBA, non-interlaced" ]' _ "$png" "$size"
done

# --- the distribution's checks ----------------------------------------------------------------
check "desktop-file-validate accepts the desktop entry" \
  bash -c 'out=$(desktop-file-validate "$1" 2>&1) && [ -z "$out" ] || { echo "$out"; false; }' _ \
  "$root/usr/share/applications/$id.desktop"
check "appstreamcli validate accepts the metainfo" \
  appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml"
for page in octetwatch octetwatch-cli; do
  check "man renders $page(1) without a warning" \
    bash -c 'out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$1" 2>&1 > /dev/null) && [ -z "$out" ] || { echo "$out"; false; }' _ \
    "$root/usr/share/man/man1/$page.1.gz"
done
lintian_out=$(lintian --fail-on error "$deb" 2>&1); rc=$?
check "lintian reports no error" bash -c '[ "$1" = 0 ] && ! grep -q "^E: " <<< "$2"' _ "$rc" "$lintian_out"
# Its warnings and notes, for whoever reads the log.
sed 's/^/       lintian: /' <<< "$lintian_out"

# --- installed use: the command-line program ---------------------------------------------------
before=$(snapshot)
out=$(as_nobody -- "$cli" --db --yes a.bin b.bin 2> "$work/err"); rc=$?
err=$(cat "$work/err")
check "installed octetwatch-cli --db as nobody: exit 1 (the files differ), the database made" \
  bash -c '[ "$1" = 1 ] && [ "$2" = "◎不一致情報データベースを作成しました。" ]' _ "$rc" "$err"
check "no box says the trace cannot be opened" bash -c '[[ "$1" != *トレース用ファイルが開けません* ]]' _ "$out$err"
share=$home/.local/share/octetwatch
state=$home/.local/state/octetwatch
check "the default log is in ~/.local/share/octetwatch" grep -q 'Generated by Octetwatch At' "$share/Result.txt"
check "the database is in ~/.local/share/octetwatch, byte for byte" \
  test "$(db_of "$share/DiffData.db")" = "$expected_db"
check "the trace is in ~/.local/state/octetwatch and holds the start-up marker" \
  starts_with_marker "$state/DataTrace.txt"
for fold in "$share" "$state" "$home/.local" "$home/.local/share" "$home/.local/state"; do
  check "${fold#"$work"/} was made for nobody alone" test "$(stat_of "$fold")" = "700 nobody directory"
done
check "the command-line program makes no settings folder" test ! -e "$home/.config"
check "nothing was written below the unpacked root" test "$(snapshot)" = "$before"

# The repair from the database just saved: b.bin becomes a.bin again.
as_nobody -- "$cli" --repair=b --yes a.bin b.bin > /dev/null 2>&1; rc=$?
check "installed repair as nobody: exit 0 and b.bin equals a.bin" \
  bash -c '[ "$1" = 0 ] && cmp -s "$2/a.bin" "$2/b.bin"' _ "$rc" "$data"
printf 'ABxDEFyH' > "$data/b.bin"

# Absolute XDG variables are followed; a relative one is ignored.
mkdir -p "$work/xdg" && chown nobody:nogroup "$work/xdg"
rm -rf "$state"
as_nobody XDG_DATA_HOME="$work/xdg/data" XDG_STATE_HOME=relative/state -- \
  "$cli" --db --yes a.bin b.bin > /dev/null 2>&1; rc=$?
check "XDG_DATA_HOME takes the log and the database (exit $rc)" \
  bash -c '[ "$1" = 1 ] && [ -f "$2/Result.txt" ] && [ "$(od -An -tx1 "$2/DiffData.db")" = "$3" ]' _ \
  "$rc" "$work/xdg/data/octetwatch" "$expected_db"
check "a relative XDG_STATE_HOME is ignored: the trace is made again in ~/.local/state" \
  starts_with_marker "$state/DataTrace.txt"
check "nothing was made below the working folder" test ! -e "$data/relative"

# --- portable use: a copy in a folder its user owns keeps its files beside it ------------------
portable=$work/portable
mkdir -p "$portable"
cp "$cli" "$portable/"
chown -R nobody:nogroup "$portable"
rm -rf "$home/.local"
as_nobody -- "$portable/octetwatch-cli" --db --yes a.bin b.bin > /dev/null 2>&1; rc=$?
check "portable octetwatch-cli as nobody: exit 1, log, database and trace beside it" \
  bash -c '[ "$1" = 1 ] && [ -f "$2/Result.txt" ] && [ -f "$2/DiffData.db" ] && [ -f "$2/DataTrace.txt" ]' _ "$rc" "$portable"
check "portable use leaves the home folder alone" test -z "$(ls -A "$home")"

# --- installed use: the window ----------------------------------------------------------------
# Xvfb picks a free display itself (several people may test on one machine) and names it.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 -ac 3> "$work/display" 2> "$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display=":$(cat "$work/display" 2> /dev/null)"
if [ "$display" = ":" ]; then
  fail "Xvfb started" "$(cat "$work/xvfb.log")"
else
  before=$(snapshot)
  as_nobody DISPLAY="$display" QT_QPA_PLATFORM=xcb -- "$gui" > "$work/gui.out" 2>&1 &
  gui_pid=$!
  wid=$(DISPLAY=$display timeout 30 xdotool search --sync --onlyvisible --name '^Octetwatch Version' 2> /dev/null | head -n 1)
  if [ -z "$wid" ]; then
    fail "the installed window opens as nobody" "$(cat "$work/gui.out")"
  else
    pass "the installed window opens as nobody"
    # Enter presses the default button 終了 (exit). Without a window manager the window is
    # given the keyboard by hand; a key may be lost while it settles, so press until it ends.
    for _ in $(seq 20); do
      DISPLAY=$display xdotool windowfocus "$wid" key Return 2> /dev/null
      kill -0 "$gui_pid" 2> /dev/null || break
      sleep 0.5
    done
  fi
  gui_rc=""
  for _ in $(seq 100); do
    if ! kill -0 "$gui_pid" 2> /dev/null; then wait "$gui_pid"; gui_rc=$?; gui_pid=""; break; fi
    sleep 0.1
  done
  check "the window ends with exit 0 when Enter presses 終了 (exit ${gui_rc:-none: still running})" \
    test "$gui_rc" = 0
  ini=$home/.config/octetwatch/octwtch.ini
  check "the window wrote its settings into ~/.config/octetwatch on exit" \
    bash -c 'iconv -f CP932 -t UTF-8 "$1" | tr -d "\r" | diff - <(printf "%s\n" "$2" "$2" "$3/Result.txt" DisplayDifferentData=FALSE UseDataBase=TRUE)' _ \
    "$ini" "$home" "$home/.local/share/octetwatch"
  check "~/.config/octetwatch was made for nobody alone" \
    test "$(stat_of "$home/.config/octetwatch")" = "700 nobody directory"
  check "the window's trace is in ~/.local/state/octetwatch" starts_with_marker "$state/DataTrace.txt"
  check "the window wrote nothing below the unpacked root" test "$(snapshot)" = "$before"
  check "the window printed nothing about the trace" bash -c '! grep -q "トレース用" "$1"' _ "$work/gui.out"
fi

echo "installed package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
