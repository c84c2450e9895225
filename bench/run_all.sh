#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the benchmarks optimised (build-bench/, no sanitizers) and runs them one after the
# other; each prints a table. Needs xvfb-run and python3. The figures depend on the machine
# and on what else runs on it, so the machine and its load average are printed first.
#
# Usage: bench/run_all.sh [--quick | --smoke]
#   --quick: fewer rounds and 20 s idle spans
#   --smoke: one round of each in the build TESSARO_BENCH_DIR already holds, so that a
#            benchmark that no longer runs is seen; its figures mean nothing (./test runs
#            this under the slow label, in its sanitized build). Exits 77 without xvfb-run.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${TESSARO_BENCH_DIR:-build-bench}
latency_rounds=20
startup_rounds=10
idle_seconds=60
protocol_options=()
calibration_cutters=20000
case "${1:-}" in
  --quick)
    latency_rounds=5
    startup_rounds=3
    idle_seconds=20
    ;;
  --smoke)
    latency_rounds=1
    startup_rounds=1
    idle_seconds=1
    protocol_options=(--benchmark_min_time=0)
    calibration_cutters=100
    command -v xvfb-run >/dev/null || exit 77
    ;;
esac

if [[ "${1:-}" != "--smoke" ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARO_BENCH=ON \
    -DTESSARO_TESTS=OFF >/dev/null
  cmake --build "$build" --parallel 2 --target tessaro tessaro-vcutter protocol_bench \
    exchange_latency_bench empty_window text_window startup_bench tessaro-query \
    query_latency_bench calibration_accuracy >/dev/null
fi

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)," \
  "$(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo) memory"
echo "Load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

xvfb() {
  xvfb-run -a -s "-screen 0 1024x768x24 -noreset" "$@"
}

echo
echo "== 1. Exchange latency (load $(cut -d' ' -f1 /proc/loadavg))"
xvfb "$build/bench/exchange_latency_bench" --rounds "$latency_rounds"
echo
echo "== 2. Idle cost (load $(cut -d' ' -f1 /proc/loadavg))"
python3 bench/idle_cost.py --build-dir "$build" --seconds "$idle_seconds"
echo
echo "== 3. Start-up and memory (load $(cut -d' ' -f1 /proc/loadavg))"
xvfb "$build/bench/startup_bench" --rounds "$startup_rounds"
echo
echo "== 4. Protocol code (load $(cut -d' ' -f1 /proc/loadavg))"
"$build/bench/protocol_bench" "${protocol_options[@]}"
echo
echo "== 5. tessaro-query beside a raw client (load $(cut -d' ' -f1 /proc/loadavg))"
"$build/bench/query_latency_bench" --rounds "$latency_rounds"
echo
echo "== 6. Calibration accuracy (simulated; the figures do not depend on the machine)"
"$build/bench/calibration_accuracy" --cutters "$calibration_cutters"
