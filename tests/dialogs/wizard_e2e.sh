#!/usr/bin/env bash
# The scaling wizard end to end: the real program beside tessaro-vcutter, whose mechanics
# cut 1 % long on X and 0.4 % short on Y, driven from the keyboard in an X server. The
# operator's measurements are the sizes the cutter reports for its test cut. Afterwards the
# cutter's flash must hold the values the wizard computed, and a new 50 x 50 test cut must
# come out 50 x 50 mm within the resolution of the scale (one step in 1000, 0.05 mm).
#
# usage: wizard_e2e.sh <tessaro> <tessaro-vcutter> <screenshot directory>
set -euo pipefail

if [ -z "${WIZARD_E2E_IN_X:-}" ]; then
  export WIZARD_E2E_IN_X=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

program=$1
vcutter=$2
shots=$3
mkdir -p "$shots"
work=$(mktemp -d)
# A device map of our own, so only this cutter is listed and no other run sees it.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
transcript="$work/transcript.txt"
port=COM231
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  echo "--- cutter transcript" >&2
  cat "$transcript" >&2
  echo "--- tessaro log" >&2
  cat "$work/tessaro.log" >&2
  exit 1
}

# Waits up to 20 s for a command to succeed.
wait_for() {
  local what=$1
  shift
  for _ in $(seq 200); do
    if "$@" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  fail "timed out waiting for $what"
}

# The visible window with this title and client size, e.g. "Tessaro" "360x211".
window_of() {
  local id
  for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
    if xdotool getwindowgeometry "$id" | grep -q "Geometry: $2\$"; then
      echo "$id"
      return 0
    fi
  done
  return 1
}

# Focuses the window and sends it keys (xdotool key arguments).
keys_to() {
  local id
  wait_for "window $1 $2" window_of "$1" "$2"
  id=$(window_of "$1" "$2")
  xdotool windowfocus --sync "$id"
  sleep 0.3
  shift 2
  xdotool key --delay 60 "$@"
}

type_into() {
  local id
  id=$(window_of "$1" "$2")
  xdotool windowfocus --sync "$id"
  xdotool type --delay 60 "$3"
}

shot() {
  sleep 0.5
  import -window root "$shots/$1.png"
}

# The last cut's size in millimetres as "W H".
last_cut_size() {
  grep 'cut closed shape' "$transcript" | tail -1 |
    sed -E 's/.*cut closed shape ([0-9.]+) x ([0-9.]+) mm.*/\1 \2/'
}

count_lines() { grep -c -- "$1" "$transcript" || true; }

"$vcutter" --com 231 --error 1.01,0.996 >"$transcript" 2>&1 &
pids+=($!)
wait_for "the cutter's port" test -e "$XDG_RUNTIME_DIR/tessaro/devices/$port"

"$program" >"$work/tessaro.log" 2>&1 &
pids+=($!)
wait_for "the main window" window_of Tessaro 368x288
shot 01-main

# Scaling (Alt+S): the first dialog, Enter cuts the 50 x 50 test rectangle.
keys_to Tessaro 368x288 alt+s
wait_for "the first dialog" window_of Tessaro 360x276
shot 02-scale-form
keys_to Tessaro 360x276 Return
wait_for "the test cut" grep -q 'cut closed shape' "$transcript"
read -r width height <<<"$(last_cut_size)"
echo "test cut measures $width x $height mm"

# The measurement, as the cutter reports it.
keys_to Tessaro 360x211 ctrl+a
type_into Tessaro 360x211 "$width"
keys_to Tessaro 360x211 Tab ctrl+a
type_into Tessaro 360x211 "$height"
shot 03-scale-form2
keys_to Tessaro 360x211 Return
wait_for "the corrected cut" test "$(count_lines 'cut closed shape')" -ge 2
shot 04-modify-form2

# Yes, Save, then the password once the scale reply is in.
keys_to Tessaro 378x211 Return
wait_for "the save question" window_of Tessaro 221x134
shot 05-save-data-form
keys_to Tessaro 221x134 Return
wait_for "the password dialog" window_of Tessaro 189x106
type_into Tessaro 189x106 047
wait_for "the scale reply" grep -q '> 0,1000,1000' "$transcript"
shot 06-password-form
sleep 1
keys_to Tessaro 189x106 Return
wait_for "Save Complete" window_of QUIX '[0-9]*x[0-9]*'
shot 07-save-complete
keys_to QUIX '[0-9]*x[0-9]*' Return

grep -q 'flash X scale 1000 -> 1010' "$transcript" || fail "flash X is not 1010"
grep -q 'flash Y scale 1000 -> 995' "$transcript" || fail "flash Y is not 995"

# A new 50 x 50 test cut with the new scale.
keys_to Tessaro 368x288 alt+s
wait_for "the first dialog" window_of Tessaro 360x276
keys_to Tessaro 360x276 Return
wait_for "the new test cut" test "$(count_lines 'cut closed shape')" -ge 3
read -r width height <<<"$(last_cut_size)"
echo "new test cut measures $width x $height mm"
keys_to Tessaro 360x211 Escape

# The About dialog with the cutter's firmware.
keys_to Tessaro 368x288 alt+a
wait_for "the About dialog" window_of About 289x223
sleep 1
shot 08-about-form
keys_to About 289x223 Return

awk -v w="$width" -v h="$height" 'BEGIN {
  dw = w - 50; if (dw < 0) dw = -dw
  dh = h - 50; if (dh < 0) dh = -dh
  exit !(dw <= 0.05 + 1e-9 && dh <= 0.05 + 1e-9)
}' || fail "the new test cut measures $width x $height mm"
echo "PASS"
