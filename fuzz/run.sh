#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each one for SECONDS,
# one at a time, starting from the hand-made seeds in fuzz/corpus/<target>/. What the
# fuzzer adds to the corpus stays in build-fuzz/corpus/<target>/; an input that breaks a
# check is kept in build-fuzz/artifacts/<target>/. Prints executions, time and findings
# per target, and exits 1 when any target found something.
#
# Usage: fuzz/run.sh TARGET|all SECONDS
set -eu

all_targets="reply_splitting reply_decoders conversions command_building cutter_reader reply_collection"

if [ $# -ne 2 ]; then
    echo "usage: $0 TARGET|all SECONDS (targets: $all_targets)" >&2
    exit 2
fi
case "$2" in
    '' | *[!0-9]*) echo "SECONDS must be a whole number" >&2; exit 2 ;;
esac
seconds=$2
if [ "$1" = all ]; then
    targets=$all_targets
else
    targets=$1
fi

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DTESSARO_FUZZ=ON -DTESSARO_TESTS=OFF >/dev/null
for target in $targets; do
    cmake --build "$build" -j2 --target "fuzz_$target" >/dev/null
done

found=0
for target in $targets; do
    seeds="$root/fuzz/corpus/$target"
    grown="$build/corpus/$target"
    artifacts="$build/artifacts/$target"
    log="$build/logs/$target.log"
    mkdir -p "$grown" "$artifacts" "$(dirname "$log")"
    dictionary=""
    if [ -f "$root/fuzz/$target.dict" ]; then
        dictionary="-dict=$root/fuzz/$target.dict"
    fi
    before=$(find "$artifacts" -type f | wc -l)
    # shellcheck disable=SC2086 # the dictionary option is one word or none
    if ! "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" $dictionary \
        "$grown" "$seeds" >"$log" 2>&1; then
        found=1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
    findings=$(($(find "$artifacts" -type f | wc -l) - before))
    printf '%-18s %12s executions %6s s %3d findings\n' "$target" "${runs:-?}" \
        "${took:-?}" "$findings"
    if [ "$findings" -gt 0 ]; then
        found=1
        grep -m 3 -E '^(==[0-9]+==ERROR|[a-z_]+: |SUMMARY)' "$log" || true
    fi
done
exit $found
