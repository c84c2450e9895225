#!/usr/bin/env bash
# Takes the user guide's screenshots again from the real program: Tessaro on a virtual X
# server beside tessaro-vcutter (a cutter whose mechanics cut 1 % long on X and 0.4 % short
# on Y), driven from the keyboard as an operator would, each window cropped to itself.
# The virtual cutters register in a private device map, so no other run sees them; the
# serial ports of this machine are listed as they are, so the port list differs from one
# machine to the next.
#
# usage: docs/screenshots.sh [BUILD_DIR]     (default build/release, what ./run builds)
set -euo pipefail

docs=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$docs/../build/release}" && pwd)

if [ -z "${SCREENSHOTS_IN_X:-}" ]; then
  export SCREENSHOTS_IN_X=1
  exec xvfb-run -a -s "-screen 0 1024x768x24 -wr" "$0" "$build"
fi

program="$build/tessaro"
vcutter="$build/tessaro-vcutter"
work=$(mktemp -d)
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
devices="$XDG_RUNTIME_DIR/tessaro/devices"
transcript="$work/transcript.txt"
log="$work/tessaro.log"
pids=()

cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill -CONT "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  echo "--- cutter transcript" >&2
  cat "$transcript" >&2 || true
  echo "--- tessaro log" >&2
  cat "$log" >&2 || true
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

# The program's visible window with this title whose size matches the pattern, e.g.
# "Tessaro" "360x211". The port list's popup and the tooltips have only the newer title
# property, the application's name, so windows are found by the program's class and their
# title read.
window_of() {
  local id
  for id in $(xdotool search --onlyvisible --class '^Tessaro$' 2>/dev/null); do
    [ "$(xdotool getwindowname "$id")" = "$1" ] || continue
    if xdotool getwindowgeometry "$id" | grep -Eq "Geometry: ($2)\$"; then
      echo "$id"
      return 0
    fi
  done
  return 1
}

# Message boxes carry the caption QUIX; the port list's popup and the tooltips carry the
# application's name, Tessaro.
box_size='[0-9]+x([6-9][0-9]|[1-9][0-9][0-9])'

# Focuses the window (after waiting for it) and sends it keys (xdotool key arguments).
keys_to() {
  local id
  wait_for "window $1 $2" window_of "$1" "$2"
  id=$(window_of "$1" "$2")
  xdotool windowfocus --sync "$id"
  sleep 0.3
  shift 2
  xdotool key --delay 60 "$@"
}

# Clicks into an edit field at window coordinates X Y and replaces its text.
retype() {
  local id
  wait_for "window $1 $2" window_of "$1" "$2"
  id=$(window_of "$1" "$2")
  xdotool windowfocus --sync "$id"
  xdotool mousemove --window "$id" "$3" "$4" click 1
  sleep 0.2
  xdotool key ctrl+a
  xdotool type --delay 60 "$5"
}

# Saves the window as docs/NAME.png, without time stamps so an unchanged window gives an
# unchanged file.
shot() {
  local id
  wait_for "window $2 $3" window_of "$2" "$3"
  id=$(window_of "$2" "$3")
  sleep 0.5
  import -window "$id" -strip -define png:exclude-chunks=date,time "$docs/$1.png"
}

# A window's place and size on the screen: "X Y WIDTH HEIGHT".
window_box() {
  xdotool getwindowgeometry --shell "$1" |
    awk -F= '/^(X|Y|WIDTH|HEIGHT)=/ { printf "%s ", $2 }'
}

# Whether a count (the output of the command that follows N) has reached N.
at_least() {
  local n=$1
  shift
  [ "$("$@")" -ge "$n" ]
}

log_count() { grep -c -- "$1" "$log" || true; }
cut_count() { grep -c 'cut closed shape' "$transcript" || true; }
last_cut_size() {
  grep 'cut closed shape' "$transcript" | tail -1 |
    sed -E 's/.*cut closed shape ([0-9.]+) x ([0-9.]+) mm.*/\1 \2/'
}

# Starts a virtual cutter; its process id is left in cutter_pid.
start_cutter() {
  "$vcutter" "$@" >>"$transcript" 2>&1 &
  cutter_pid=$!
  pids+=("$cutter_pid")
}

main=(Tessaro 368x288)

# Root opens any device; without its override of file permissions it meets them as an
# operator does, so the locked port below refuses it.
run_program=("$program")
if [ "$(id -u)" -eq 0 ]; then
  run_program=(setpriv --bounding-set=-dac_override,-dac_read_search "$program")
fi

start_cutter --com 200 --error 1.01,0.996
wait_for "the cutter's port" test -e "$devices/COM200"
"${run_program[@]}" 2>"$log" &
pids+=($!)
wait_for "the main window" window_of "${main[@]}"
sleep 1

# The panel: Poll Size, then Loop Detect while it runs, then after DisDetect.
keys_to "${main[@]}" alt+p
wait_for "the size reply" at_least 1 log_count 'Close COM200 OK'
keys_to "${main[@]}" alt+l
wait_for "two settings replies" at_least 2 log_count '接收:0,30'
shot loop-detect "${main[@]}"
keys_to "${main[@]}" alt+d
wait_for "the end of Loop Detect" at_least 2 log_count 'Close COM200 OK'
shot main-window "${main[@]}"

# The port list, opened with a USB cutter plugged in, the mouse resting on the right end
# of the first entry, so that its tooltip stands beside the list instead of over it. The
# list and the tooltip are windows of their own: the screen (white) is cropped to the main
# window's place and a margin on its right for the tooltip.
start_cutter --usb 0
usb_cutter=$cutter_pid
wait_for "the USB cutter's port" test -e "$devices/USB0"
main_id=$(window_of "${main[@]}")
xdotool windowfocus --sync "$main_id"
xdotool mousemove --window "$main_id" 341 134 click 1
# Lower than the main window (288 px), which has the same title.
wait_for "the port list" window_of Tessaro '[0-9]+x([0-9]{1,2}|1[0-9]{2})'
popup=$(window_of Tessaro '[0-9]+x([0-9]{1,2}|1[0-9]{2})')
read -r x y width height <<<"$(window_box "$popup")"
for step in 3 2 1 0; do
  xdotool mousemove $((x + width - 6 - step)) $((y + 4 + step))
  sleep 0.1
done
wait_for "the tooltip" window_of Tessaro '[0-9]+x(1[0-9]|2[0-4])'
sleep 0.5
read -r x y width height <<<"$(window_box "$main_id")"
import -window root -crop "$((width + 72))x${height}+${x}+${y}" +repage -strip \
  -define png:exclude-chunks=date,time "$docs/port-list.png"
xdotool key Escape
sleep 0.3

# Scaling with a COM port chosen while the USB cutter is attached.
keys_to "${main[@]}" alt+s
shot usb-cable-plugged QUIX "$box_size"
keys_to QUIX "$box_size" Return
kill "$usb_cutter"
wait_for "the USB cutter to leave" test ! -e "$devices/USB0"

# Loop Detect on a cutter that stays silent.
start_cutter --com 201 --fault silent
wait_for "the silent cutter's port" test -e "$devices/COM201"
retype "${main[@]}" 300 134 COM201
wait_for "the port check" at_least 1 log_count 'COM201 Check OK'
keys_to "${main[@]}" alt+l
shot device-not-found QUIX "$box_size"
keys_to QUIX "$box_size" Return
retype "${main[@]}" 300 134 COM200
wait_for "the port check" at_least 3 log_count 'COM200 Check OK'

# The wizard. The first dialog refuses a test size of 0, then cuts 50 x 50 mm.
first=(Tessaro 360x276)
measure=(Tessaro 360x211)
keys_to "${main[@]}" alt+s
shot scale-form "${first[@]}"
retype "${first[@]}" 109 187 0
keys_to "${first[@]}" Return
shot refused-size QUIX "$box_size"
keys_to QUIX "$box_size" Return
retype "${first[@]}" 109 187 50
keys_to "${first[@]}" Return
wait_for "the test cut" at_least 1 cut_count
read -r width height <<<"$(last_cut_size)"

# A measurement far from the test size is refused; then the cut's real size.
retype "${measure[@]}" 188 108 56
retype "${measure[@]}" 188 142 "$height"
keys_to "${measure[@]}" Return
shot refused-measurement QUIX "$box_size"
keys_to QUIX "$box_size" Return
retype "${measure[@]}" 188 108 "$width"
shot scale-form2 "${measure[@]}"
keys_to "${measure[@]}" Return
wait_for "the corrected cut" at_least 2 cut_count
shot modify-form2 Tessaro 378x211

# Yes, Save, the service password once the cutter's scale values are in, and done.
keys_to Tessaro 378x211 Return
shot save-data-form Tessaro 221x134
keys_to Tessaro 221x134 Return
wait_for "the scale reply" grep -q '> 0,1000,1000' "$transcript"
retype Tessaro 189x106 130 33 047
shot password-form Tessaro 189x106
keys_to Tessaro 189x106 Return
shot save-complete QUIX "$box_size"
keys_to QUIX "$box_size" Return
grep -q 'flash Y scale' "$transcript" || fail "the new scale was not written"

# About, once the firmware reply has been shown.
keys_to "${main[@]}" alt+a
wait_for "the firmware reply" grep -q '> 0,0,TC-60' "$transcript"
sleep 0.5
shot about About 289x223
keys_to About 289x223 Return

# A port the operator may not open: a pseudo-terminal of the group dialout, registered
# as COM150. Poll Size ends in the box that says why.
python3 - "$devices/COM150" <<'PY' &
import grp, os, pty, pwd, sys, time
master, slave = pty.openpty()
node = os.ttyname(slave)
os.close(slave)
if os.getuid() == 0:
    os.chown(node, pwd.getpwnam("nobody").pw_uid, grp.getgrnam("dialout").gr_gid)
    os.chmod(node, 0o660)
else:
    os.chmod(node, 0)
os.symlink(node, sys.argv[1])
while True:
    time.sleep(60)
PY
pids+=($!)
wait_for "the locked port" test -L "$devices/COM150"
retype "${main[@]}" 300 134 COM150
wait_for "the failed check" at_least 1 log_count 'COM150 Check Fail'
keys_to "${main[@]}" alt+p
shot permission-denied QUIX "$box_size"
keys_to QUIX "$box_size" Return

# The log window, from Ctrl+L.
keys_to "${main[@]}" ctrl+l
shot log-window "Tessaro log" 640x400

grep -E 'cut closed shape|flash' "$transcript"
for name in loop-detect main-window port-list usb-cable-plugged device-not-found scale-form \
  refused-size refused-measurement scale-form2 modify-form2 save-data-form password-form \
  save-complete about permission-denied log-window; do
  identify -format "%f %wx%h %b\n" "$docs/$name.png"
done
