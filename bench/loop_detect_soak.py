#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Loop Detect left running against the virtual cutter.

Usage: loop_detect_soak.py --build-dir DIR [--minutes 10] [--link com|usb]

Starts tessaro beside tessaro-vcutter on a virtual X server, presses Loop Detect and
leaves it running. Prints, once a minute and at the end, tessaro's open descriptors,
threads, resident memory and log size, the replies decoded and the queries the cutter
received; then presses DisDetect and Exit. Not part of the test suite: it takes as long
as asked. A release build gives the figures an operator sees; a sanitizer build's
memory includes the sanitizer's own bookkeeping.
"""

import argparse
import os
import sys
import time

# The source tree stays clean: no byte-code caches beside the scripts.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))

from tessaro_session import Session, run_under_xvfb  # noqa: E402

SETTINGS_REPLY_PREFIX = "接收:"


def process_status(pid):
    figures = {}
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "Threads"):
                figures[key] = int(value.split()[0])
    figures["fds"] = len(os.listdir("/proc/%d/fd" % pid))
    return figures


def sample(session, port, started):
    status = process_status(session.app.pid)
    log = session.log()
    return {
        "minute": (time.monotonic() - started) / 60.0,
        "fds": status["fds"],
        "threads": status["Threads"],
        "rss_kib": status["VmRSS"],
        "log_bytes": session.log_size(),
        "log_lines": len(log),
        "replies": sum(1 for line in log if line.startswith(SETTINGS_REPLY_PREFIX)),
        "queries": len(session.commands_received(port)),
    }


COLUMNS = ("minute", "fds", "threads", "rss_kib", "log_bytes", "log_lines", "replies", "queries")


def print_row(row):
    print("%6.1f %5d %8d %9d %10d %10d %8d %8d" % tuple(row[c] for c in COLUMNS), flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--minutes", type=float, default=10.0)
    parser.add_argument("--link", choices=["com", "usb"], default="com")
    arguments = parser.parse_args()
    run_under_xvfb()

    session = Session(os.path.abspath(arguments.build_dir))
    try:
        if arguments.link == "com":
            session.start_cutter("--com", "200")
            port = "COM200"
        else:
            session.start_cutter("--usb", "0")
            port = "USB0"
        session.start_tessaro()
        if arguments.link == "usb":
            session.choose_last_port()
            session.wait_for_log("the USB entry chosen", lambda log: "USB0 Check OK" in log)
        started = time.monotonic()
        session.press("alt+l")
        session.wait_for_log("the first reply",
                             lambda log: any(l.startswith(SETTINGS_REPLY_PREFIX) for l in log))
        print("%6s %5s %8s %9s %10s %10s %8s %8s" % COLUMNS)
        first = sample(session, port, started)
        print_row(first)
        rows = [first]
        deadline = started + arguments.minutes * 60.0
        while time.monotonic() < deadline:
            time.sleep(max(0.0, min(60.0, deadline - time.monotonic())))
            if session.app.poll() is not None:
                print("tessaro ended with %d" % session.app.returncode)
                return 1
            rows.append(sample(session, port, started))
            print_row(rows[-1])
        last = rows[-1]
        print("after %.1f minutes: fds %+d, threads %+d, RSS %+d KiB (from the first reply on), "
              "%d replies decoded, %d queries sent, log %d lines / %d bytes"
              % (last["minute"], last["fds"] - first["fds"], last["threads"] - first["threads"],
                 last["rss_kib"] - first["rss_kib"], last["replies"], last["queries"],
                 last["log_lines"], last["log_bytes"]))
        session.press("alt+d")
        code = session.exit_tessaro()
        print("tessaro exited with %d" % code)
        return 0 if code == 0 else 1
    finally:
        session.close()


if __name__ == "__main__":
    sys.exit(main())
