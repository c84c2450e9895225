#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Starts a program, waits for its window "Tessaro", saves that window's picture and ends
the program. On $DISPLAY, or on an X server of its own where none is set.

Usage: shoot_window.py PICTURE COMMAND [ARGUMENT]...   (exit code 0 once the picture is in)
"""

import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from tessaro_session import (Failure, end_process, run_under_xvfb, screenshot,  # noqa: E402
                             wait_until, xdotool)


def main():
    picture, command = sys.argv[1], sys.argv[2:]
    if not os.environ.get("DISPLAY"):
        run_under_xvfb()
    program = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        # Searched by name: a program in another root may carry another class.
        found = wait_until("the window Tessaro", lambda: xdotool(
            "search", "--onlyvisible", "--name", "^Tessaro$"), 30)
        time.sleep(0.5)
        screenshot(picture, found[0])
    except (Failure, subprocess.CalledProcessError) as failure:
        print("shoot_window: %s" % failure)
        return 1
    finally:
        end_process(program)
    return 0 if os.path.getsize(picture) > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
