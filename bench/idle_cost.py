#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Idle cost: the CPU share of a running tessaro with nothing outstanding, and during
Loop Detect, beside tessaro-vcutter on a virtual X server.

Usage: idle_cost.py [--build-dir DIR] [--seconds 60]

CPU time comes from /proc/<pid>/stat (utime + stime, in clock ticks of 10 ms) and, finer,
from /proc/<pid>/task/*/schedstat (nanoseconds on a CPU, thread by thread); wake-ups are the
context switches of all of tessaro's threads. The idle span comes first, before any key is
pressed; "after stop" is idle again after Loop Detect and DisDetect, with the window active. The load average is printed beside each figure:
other programs on the machine slow tessaro's own work only a little, but a busy machine
makes every figure noisier. Use an optimised build (build-bench).
"""

import argparse
import os
import sys
import time

# The source tree stays clean: no byte-code caches beside the scripts.
sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

from tessaro_session import Session, run_under_xvfb  # noqa: E402

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
SETTINGS_REPLY_PREFIX = "接收:"
IDLE_GOAL_PERCENT = 0.05
LOOP_DETECT_GOAL_PERCENT = 1.0
SETTLE_SECONDS = 5


def stat_cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        # The fields after the command name, which is in parentheses and may hold blanks.
        fields = stat.read().rsplit(")", 1)[1].split()
    utime, stime = int(fields[11]), int(fields[12])
    return (utime + stime) / CLOCK_TICKS


def per_thread(pid, read):
    """`read` of each of tessaro's threads, by thread id."""
    values = {}
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            values[task] = read("/proc/%d/task/%s" % (pid, task))
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return values


def schedstat_ns(task_dir):
    with open(task_dir + "/schedstat") as schedstat:
        return int(schedstat.read().split()[0])


def context_switches(task_dir):
    total = 0
    with open(task_dir + "/status") as status:
        for line in status:
            if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                total += int(line.split()[1])
    return total


def growth(before, after):
    """What the threads alive at the end added since `before` (a thread that ended
    meanwhile takes its figures with it; one that started counts whole)."""
    return sum(value - before.get(task, 0) for task, value in after.items())


def load_average():
    with open("/proc/loadavg") as loadavg:
        return float(loadavg.read().split()[0])


def measure(pid, seconds):
    load_before = load_average()
    started = time.monotonic()
    stat_before = stat_cpu_seconds(pid)
    sched_before = per_thread(pid, schedstat_ns)
    switches_before = per_thread(pid, context_switches)
    time.sleep(seconds)
    wall = time.monotonic() - started
    return {
        "seconds": wall,
        "stat_ms": (stat_cpu_seconds(pid) - stat_before) * 1000,
        "sched_ms": growth(sched_before, per_thread(pid, schedstat_ns)) / 1e6,
        "wakeups": growth(switches_before, per_thread(pid, context_switches)) / wall,
        "load": (load_before + load_average()) / 2,
    }


def print_row(name, row, goal):
    stat_share = row["stat_ms"] / 10 / row["seconds"]
    sched_share = row["sched_ms"] / 10 / row["seconds"]
    verdict = "met" if max(stat_share, sched_share) <= goal else "MISSED"
    print("%-12s %6.0f %9.0f %8.3f %10.1f %8.3f %10.1f %6.2f %8s  %s"
          % (name, row["seconds"], row["stat_ms"], stat_share, row["sched_ms"], sched_share,
             row["wakeups"], row["load"], "<= %g" % goal, verdict), flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", default=os.path.join(HERE, "..", "build-bench"))
    parser.add_argument("--seconds", type=float, default=60.0)
    arguments = parser.parse_args()
    run_under_xvfb()

    session = Session(os.path.abspath(arguments.build_dir))
    try:
        session.start_cutter("--com", "200")
        session.start_tessaro()
        pid = session.app.pid
        time.sleep(SETTLE_SECONDS)
        print("Idle cost of tessaro (pid %d), %.0f s each, %% of one core" % (pid, arguments.seconds))
        print("%-12s %6s %9s %8s %10s %8s %10s %6s %8s"
              % ("phase", "s", "stat ms", "stat %", "sched ms", "sched %", "wakeups/s", "load",
                 "goal %"), flush=True)
        print_row("idle", measure(pid, arguments.seconds), IDLE_GOAL_PERCENT)
        session.press("alt+l")
        session.wait_for_log("the first settings reply",
                             lambda log: any(l.startswith(SETTINGS_REPLY_PREFIX) for l in log))
        print_row("loop detect", measure(pid, arguments.seconds), LOOP_DETECT_GOAL_PERCENT)
        replies = sum(1 for l in session.log() if l.startswith(SETTINGS_REPLY_PREFIX))
        session.press("alt+d")
        time.sleep(SETTLE_SECONDS)
        print_row("after stop", measure(pid, arguments.seconds), IDLE_GOAL_PERCENT)
        print("settings replies decoded during Loop Detect: %d" % replies)
        code = session.exit_tessaro()
        return 0 if code == 0 else 1
    finally:
        session.close()


if __name__ == "__main__":
    sys.exit(main())
