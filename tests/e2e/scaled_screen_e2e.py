#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Windows on a screen too small for their design positions, and Qt's own options.

Usage: scaled_screen_e2e.py --build-dir DIR

Tessaro with QT_SCALE_FACTOR=2 on a 1024 x 768 Xvfb (512 x 384 for the program), started
as `tessaro -platform xcb -style Fusion`: the main window and About, whose design positions
would leave them mostly off the screen, must open wholly on it, moved just inside its
right and bottom edges.
"""

import argparse
import os
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from tessaro_session import SCREEN, check, main, window_geometry  # noqa: E402

# Client sizes on the screen, twice the designed ones.
MAIN_WINDOW_SIZE, ABOUT_SIZE = "736x576", "578x446"


def expect_just_inside(what, window):
    screen_width, screen_height = (int(v) for v in SCREEN.split("x")[:2])
    x, y, width, height = window_geometry(window)
    check(x >= 0 and y >= 0 and (x + width, y + height) == (screen_width, screen_height),
          "%s stands at %d,%d, %dx%d on a %dx%d screen" % (what, x, y, width, height,
                                                           screen_width, screen_height))
    print("ok   %s at %d,%d, %dx%d" % (what, x, y, width, height))


def run(session, arguments):
    session.env["QT_SCALE_FACTOR"] = "2"
    session.start_tessaro(arguments=["-platform", "xcb", "-style", "Fusion"],
                          size=MAIN_WINDOW_SIZE)
    expect_just_inside("the main window", session.window)
    session.press("alt+a")
    expect_just_inside("About", session.wait_for_window("About", ABOUT_SIZE))


if __name__ == "__main__":
    sys.exit(main(run, argparse.ArgumentParser()))
