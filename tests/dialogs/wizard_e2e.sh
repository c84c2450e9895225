#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The scaling wizard end to end: the real program beside tessaro-vcutter, whose mechanics
# cut 1 % long on X and 0.4 % short on Y, driven from the keyboard in an X server. The
# operator's measurements are the sizes the cutter reports for its test cut. Afterwards the
# cutter's flash must hold the values the wizard computed, and a new 50 x 50 test cut must
# come out 50 x 50 mm within the resolution of the scale (one step in 1000, 0.05 mm).
# Then a cutter at scale 10000 on the same port, measured to a hundredth of a millimetre:
# its flash must hold exactly what the calibration rules give (oracle_scale below).
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
oracle="$(cd "$(dirname "$0")/../e2e" && pwd)/scale_oracle.py"
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

# Clicks into the window at the given point of its client area.
click_at() {
  local id
  id=$(window_of "$1" "$2")
  xdotool mousemove --window "$id" "$3" "$4" click 1
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

# The scale value the wizard must write, modelled exactly (tests/e2e/scale_oracle.py).
# usage: oracle_scale <scale> <test size mm> <measured mm>
oracle_scale() {
  python3 -B "$oracle" "$@"
}

# Starts tessaro-vcutter on the port with the given options; its output goes to $transcript.
start_cutter() {
  "$vcutter" --com 231 "$@" >"$transcript" 2>&1 &
  cutter_pid=$!
  pids+=("$cutter_pid")
  wait_for "the cutter's port" test -e "$XDG_RUNTIME_DIR/tessaro/devices/$port"
}

# The wizard from the Scaling button to "Save Complete !!" with the 50 x 50 test size.
# `measure` prints the measurement "X Y" once the test cut is in; the password goes in once
# the cutter has answered the scale query with `scale_reply`. Screenshots are named after
# `tag`.
run_wizard() {
  local measure=$1 scale_reply=$2 tag=$3 width height
  keys_to Tessaro 368x288 alt+s
  wait_for "the first dialog" window_of Tessaro 360x276
  shot "${tag}02-scale-form"
  keys_to Tessaro 360x276 Return
  wait_for "the test cut" grep -q 'cut closed shape' "$transcript"
  read -r width height <<<"$($measure)"
  echo "measured $width x $height mm"

  # Into Length X and Width Y, wherever the focus was left the last time.
  wait_for "the measurement dialog" window_of Tessaro 360x211
  click_at Tessaro 360x211 188 108
  keys_to Tessaro 360x211 ctrl+a
  type_into Tessaro 360x211 "$width"
  click_at Tessaro 360x211 188 142
  keys_to Tessaro 360x211 ctrl+a
  type_into Tessaro 360x211 "$height"
  shot "${tag}03-scale-form2"
  keys_to Tessaro 360x211 Return
  wait_for "the corrected cut" test "$(count_lines 'cut closed shape')" -ge 2
  shot "${tag}04-modify-form2"

  # Yes, Save, then the password once the scale reply is in.
  keys_to Tessaro 378x211 Return
  wait_for "the save question" window_of Tessaro 221x134
  shot "${tag}05-save-data-form"
  keys_to Tessaro 221x134 Return
  wait_for "the password dialog" window_of Tessaro 189x106
  type_into Tessaro 189x106 047
  wait_for "the scale reply" grep -q "> $scale_reply" "$transcript"
  shot "${tag}06-password-form"
  sleep 1
  keys_to Tessaro 189x106 Return
  wait_for "Save Complete" window_of QUIX '[0-9]*x[0-9]*'
  shot "${tag}07-save-complete"
  keys_to QUIX '[0-9]*x[0-9]*' Return
}

start_cutter --error 1.01,0.996

"$program" >"$work/tessaro.log" 2>&1 &
pids+=($!)
wait_for "the main window" window_of Tessaro 368x288
shot 01-main

# Scaling (Alt+S); Enter cuts the 50 x 50 test rectangle; the measurement is the size the
# cutter reports.
run_wizard last_cut_size 0,1000,1000 ""

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

# A cutter at scale 10000 in place of the first, measured 49.51 x 50 mm: there a hundredth
# of a millimetre is one scale step, so the whole chain must follow the rules exactly.
kill "$cutter_pid"
wait "$cutter_pid" 2>/dev/null || true
transcript="$work/transcript-scale10000.txt"
start_cutter --scale 10000,10000
measured_fixed() { echo "49.51 50"; }
run_wizard measured_fixed 0,10000,10000 scale10000-
expected_x=$(oracle_scale 10000 50 49.51)
expected_y=$(oracle_scale 10000 50 50)
grep -q "flash X scale 10000 -> $expected_x\$" "$transcript" || fail "flash X is not $expected_x"
grep -q "flash Y scale 10000 -> $expected_y\$" "$transcript" || fail "flash Y is not $expected_y"
echo "scale 10000, 49.51 x 50 mm: flash X $expected_x, Y $expected_y"
echo "PASS"
