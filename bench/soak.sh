#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Soak: a thousand Poll Size exchanges in a row in process (tick by tick, on both links),
# then Loop Detect left running for MINUTES against tessaro-vcutter, on the serial link
# and on the USB link at once, each in its own virtual X server. Prints the open
# descriptors, threads, resident memory and log of tessaro as it goes, and judges the end
# against the first minute: no more descriptors or threads, and resident memory grown by
# no more than RSS_SLACK_BYTES (default 2048) per log line added (the log is capped at
# 10,000 lines, below which its lines are what grows). Exits 1 when something was not
# flat.
#
# Usage: bench/soak.sh BUILD_DIR [MINUTES]
# A release build gives the figures an operator sees; a sanitizer build's memory holds
# the sanitizer's own quarantine as well. Not part of the test suite.
set -eu

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 BUILD_DIR [MINUTES]" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
minutes=${2:-10}
slack=${RSS_SLACK_BYTES:-2048}
here=$(cd "$(dirname "$0")" && pwd)
out=$(mktemp -d "${TMPDIR:-/tmp}/tessaro-soak-XXXXXX")
trap 'rm -rf "$out"' EXIT

status=0

exchanges="$build/tests/hardening/hardening_tests"
if [ -x "$exchanges" ]; then
    echo "== 1000 Poll Size exchanges in process"
    if ! QT_QPA_PLATFORM=offscreen "$exchanges" --gtest_filter='*PollSizeSoak*' \
        2>/dev/null | grep -E '^(USB0|COM1): |^\[  (PASSED|FAILED) '; then
        status=1
    fi
else
    echo "== 1000 Poll Size exchanges in process: skipped ($exchanges is not built)"
fi

echo "== Loop Detect for $minutes minutes against tessaro-vcutter, serial and USB"
for link in com usb; do
    python3 "$here/loop_detect_soak.py" --build-dir "$build" --minutes "$minutes" \
        --link "$link" >"$out/$link.txt" 2>&1 &
done
wait

for link in com usb; do
    echo "-- $link"
    cat "$out/$link.txt"
    # The table's rows: minute fds threads rss_kib log_bytes log_lines replies queries.
    # Start-up threads and descriptors are gone after the first minute, which is taken
    # as the start; below its cap of 10,000 lines the log itself grows memory, so RSS is
    # judged per log line added.
    verdict=$(awk -v slack="$slack" '
        $1 ~ /^[0-9]+\.[0-9]$/ && NF == 8 {
            rows++
            if (rows <= 2) { fds = $2; threads = $3; rss = $4; lines = $6; minute = $1 }
            last_fds = $2; last_threads = $3; last_rss = $4; last_lines = $6; last_minute = $1
        }
        END {
            if (rows < 3) { print "FAILED: the run did not finish"; exit }
            added = last_lines - lines
            per_line = added > 0 ? (last_rss - rss) * 1024 / added : 0
            flat = last_fds <= fds && last_threads <= threads && per_line <= slack
            printf "%s: from minute %s to %s: fds %d -> %d, threads %d -> %d, " \
                   "RSS %d -> %d KiB (%+d KiB, %d bytes per log line added)\n",
                   flat ? "flat" : "FAILED: not flat", minute, last_minute, fds, last_fds,
                   threads, last_threads, rss, last_rss, last_rss - rss, per_line
        }' "$out/$link.txt")
    echo "$verdict"
    case "$verdict" in
        FAILED*) status=1 ;;
    esac
done
exit $status
