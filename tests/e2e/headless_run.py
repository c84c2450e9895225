#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What ./run shows where there is no display.

Usage: headless_run.py --build-dir DIR --shot PNG [--hardware] [-- CUTTER OPTION...]

Tessaro on a virtual X server beside the virtual cutter (started with the options given,
registered above every serial port), or alone with --hardware: Poll Size and then Loop
Detect are pressed through the keyboard, a screenshot of the main window is saved, and
Tessaro's log and the cutter's transcript are printed.
"""

import argparse
import os
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from tessaro_session import end_process, main, screenshot  # noqa: E402


def run(session, arguments):
    if not arguments.hardware:
        cutter = session.start_cutter("--com", "auto", *arguments.cutter_options)
        print("Virtual cutter registered as %s" % ", ".join(cutter.names))
    session.start_tessaro()
    time.sleep(1)
    session.press("alt+p")
    time.sleep(1.5)
    session.press("alt+l")
    time.sleep(4)
    screenshot(arguments.shot, session.window)
    session.press("alt+d")
    time.sleep(0.5)
    # A box may be open (a cutter of one's own that does not answer): end it as it is.
    end_process(session.app)
    print("\n=== Tessaro log (standard error) ===")
    print("\n".join(session.log()))
    if not arguments.hardware:
        print("\n=== Virtual cutter transcript ===")
        print(session.cutter_transcript(), end="")
    print("\nScreenshot of the main window: %s" % arguments.shot)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--shot", required=True)
    parser.add_argument("--hardware", action="store_true")
    parser.add_argument("cutter_options", nargs="*")
    sys.exit(main(run, parser))
