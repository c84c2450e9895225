#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Tessaro ended by a signal during Loop Detect, then the next Tessaro on the same cutter.

Usage: signal_e2e.py --build-dir DIR --box-size-tool TOOL --layout-tool TOOL

SIGTERM, SIGINT and SIGHUP must end tessaro as Exit does: exit status 0 and the port
released, so the next tessaro polls the size. After a SIGKILL nothing in tessaro runs: the
virtual cutter must clear the exclusive use its host left on the terminal. Tessaro and the
cutter run without CAP_SYS_ADMIN, as users do: with it tessaro would open a terminal marked
exclusive, and the cutter could open it to clear the mark.
"""

import argparse
import os
import signal
import subprocess
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from poll_e2e import SETTINGS_REPLY, SIZE_REPLY  # noqa: E402
from tessaro_session import Failure, appears_in_order, check, main  # noqa: E402

# (signal, the exit status expected)
ROWS = [(signal.SIGTERM, 0), (signal.SIGINT, 0), (signal.SIGHUP, 0), (signal.SIGKILL, -9)]
IN_USE = "is in use by another program"
WITHOUT_SYS_ADMIN = ["setpriv", "--bounding-set=-sys_admin"] if os.geteuid() == 0 else []


def poll_size_works(session, port):
    """Whether Poll Size reaches the cutter; a reason when it does not."""
    mark = len(session.cutter.commands_received(port))
    session.press("alt+p")
    try:
        session.wait_for_log("the size reply", lambda log: appears_in_order(log, SIZE_REPLY)
                             or any(IN_USE in line for line in log))
    except Failure as failure:
        return str(failure)
    in_use = [line for line in session.log() if IN_USE in line]
    received = session.cutter.commands_received(port)[mark:]
    return "; ".join(in_use) if in_use or received != ["OH;"] else None


def run(session, arguments):
    port = session.start_cutter("--com", "auto", prefix=WITHOUT_SYS_ADMIN).com
    session.start_tessaro(WITHOUT_SYS_ADMIN)
    problems = []
    for number, expected_status in ROWS:
        name = signal.Signals(number).name
        session.press("alt+l")
        session.wait_for_log("a settings reply", lambda log: SETTINGS_REPLY in log, 30)
        session.app.send_signal(number)
        try:
            status = session.app.wait(timeout=15)
        except subprocess.TimeoutExpired:
            raise Failure("tessaro did not end within 15 s of %s" % name)
        print("%s during Loop Detect: exit status %d" % (name, status))
        if status != expected_status:
            problems.append("%s: exit status %d, not %d" % (name, status, expected_status))
        session.start_tessaro(WITHOUT_SYS_ADMIN)
        refused = poll_size_works(session, port)
        print("the next tessaro's Poll Size: %s" % (refused or "OH; answered"))
        if refused:
            problems.append("after %s the next tessaro's Poll Size failed: %s" % (name, refused))
            break
    check(not problems, "; ".join(problems))
    check(session.exit_tessaro() == 0, "tessaro did not exit with 0")


if __name__ == "__main__":
    sys.exit(main(run, argparse.ArgumentParser()))
