#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The programs as a shell and a desktop meet them: --help and --version answer on
# standard output with exit 0 before any display is touched, anything else is refused in
# one line with exit 2, Tessaro without a display says so in one line, and under an X
# server its window carries the class the desktop entry names.
# Usage: command_line_test.sh BUILD_DIR DESKTOP_FILE
set -uo pipefail
build=$1
desktop_file=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Runs a program with no display at all; leaves rc, out and err.
run_headless() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" >"$work/out" 2>"$work/err"
  rc=$?
  out=$(cat "$work/out")
  err=$(cat "$work/err")
}

line_count() { [ -z "$1" ] && echo 0 || wc -l <<<"$1"; }

version=$(sed -n 's/^project(tessaro VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
for program in tessaro tessaro-query tessaro-vcutter; do
  run_headless "$build/$program" --version
  [ "$rc" -eq 0 ] && [ "$out" = "$program $version" ] && [ -z "$err" ] ||
    fail "$program --version: exit $rc, stdout '$out', stderr '$err'"
  for help in --help -h; do
    run_headless "$build/$program" "$help"
    [ "$rc" -eq 0 ] && grep -q "^Usage: $program" <<<"$out" && [ -z "$err" ] ||
      fail "$program $help: exit $rc, stdout '$out', stderr '$err'"
  done
  for wrong in --verbose -x COM3 --version=2; do
    run_headless "$build/$program" "$wrong"
    [ "$rc" -eq 2 ] && [ -z "$out" ] && [ "$(line_count "$err")" -eq 1 ] ||
      fail "$program $wrong: exit $rc (want 2), stdout '$out', stderr '$err' (want one line)"
  done
done

# No display, and a display that is not there: one line, a failure exit, no abort.
for display in "" ":97"; do
  if [ -z "$display" ]; then run_headless "$build/tessaro"; else
    run_headless env DISPLAY="$display" "$build/tessaro"; fi
  [ "$rc" -ne 0 ] && [ "$rc" -lt 128 ] && [ "$(line_count "$err")" -eq 1 ] &&
    grep -qi display <<<"$err" ||
    fail "tessaro with DISPLAY='$display': exit $rc, stderr '$err' (want one line about the display)"
done

# WM_CLASS of the real window: the class is what the desktop entry's StartupWMClass says.
if command -v xvfb-run >/dev/null && command -v xprop >/dev/null && command -v xdotool >/dev/null; then
  startup_class=$(sed -n 's/^StartupWMClass=//p' "$desktop_file")
  [ -n "$startup_class" ] || fail "the desktop entry names no StartupWMClass"
  cat >"$work/wm_class.sh" <<'EOF'
XDG_RUNTIME_DIR=$2 "$1" 2>/dev/null &
app=$!
for _ in $(seq 100); do
  window=$(xdotool search --sync --onlyvisible --pid "$app" --name '^Tessaro$' 2>/dev/null | head -1)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] && xprop -id "$window" WM_CLASS
kill "$app"; wait "$app" 2>/dev/null
EOF
  mkdir -m 700 "$work/runtime"
  wm_class=$(xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash "$work/wm_class.sh" "$build/tessaro" \
    "$work/runtime")
  echo "$wm_class"
  [ "$wm_class" = "WM_CLASS(STRING) = \"tessaro\", \"$startup_class\"" ] ||
    fail "window class '$wm_class', the desktop entry expects '$startup_class'"
else
  echo "xvfb-run, xprop or xdotool missing: WM_CLASS not checked"
fi

[ "$failures" -eq 0 ] && echo "command line and window class ok" || exit 1
