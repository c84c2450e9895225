#!/usr/bin/env bash
# Starts a program on $DISPLAY, waits for its window "Tessaro" and saves that window's
# picture; then ends the program. Usage: shoot_window.sh PICTURE COMMAND [ARGUMENT]...
set -uo pipefail
picture=$1
shift
"$@" 2>/dev/null &
app=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Tessaro$' | head -1)
sleep 0.5
[ -n "$window" ] && import -window "$window" "$picture"
kill "$app" 2>/dev/null
wait "$app" 2>/dev/null
[ -n "$window" ] && [ -s "$picture" ]
