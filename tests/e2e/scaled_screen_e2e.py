#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Windows on a screen too small for their design positions, framed by a window manager.

Usage: scaled_screen_e2e.py --build-dir DIR

`tessaro -platform xcb -style Fusion` with QT_SCALE_FACTOR=2 on a 1024 x 768 Xvfb (512 x
384 for the program) under openbox, which frames a window only once it is mapped. The
frame of each window an operator opens lies wholly on the screen: the main window and
About (their design positions would leave them mostly off it) just inside its right and
bottom edges; the box over About, the log window (designed larger than the screen) and
the wizard's first dialog.
"""

import argparse
import os
import subprocess
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from tessaro_session import SCREEN, Failure, check, main, wait_until  # noqa: E402

# Client sizes on the screen, twice the designed ones.
MAIN_WINDOW_SIZE, ABOUT_SIZE, SCALE_FORM_SIZE = "736x576", "578x446", "720x552"
ANY_SIZE = r"\d+x\d+"


def frame_of(window):
    """The window's frame on the screen as (left, top, right, bottom), right and bottom
    exclusive: its client area as X places it, grown by the extents the window manager
    announces for its frame."""
    info = subprocess.run(["xwininfo", "-id", str(window)], capture_output=True,
                          text=True).stdout
    fields = dict(line.strip().split(": ", 1) for line in info.splitlines() if ": " in line)
    x, y = int(fields["Absolute upper-left X"]), int(fields["Absolute upper-left Y"])
    width, height = int(fields["Width"]), int(fields["Height"])
    extents = subprocess.run(["xprop", "-id", str(window), "_NET_FRAME_EXTENTS"],
                             capture_output=True, text=True).stdout
    check("=" in extents, "no frame extents on the window: %r" % extents)
    left, right, top, bottom = (int(v) for v in extents.split("=", 1)[1].split(","))
    check(top > 0, "the window manager gave the window no title bar")
    return x - left, y - top, x + width + right, y + height + bottom


def on_screen(frame, at_edges):
    """`at_edges`: just inside the right and bottom edges, up to the rounding of the
    frame's borders to the program's pixels (each two of the screen's)."""
    screen_width, screen_height = (int(v) for v in SCREEN.split("x")[:2])
    left, top, right, bottom = frame
    inside = left >= 0 and top >= 0 and right <= screen_width and bottom <= screen_height
    return inside and (not at_edges or max(screen_width - right, screen_height - bottom) <= 2)


def expect_frame_on_screen(session, what, title, size, at_edges=False):
    """The window manager frames the window, then Tessaro may move it once."""
    window = session.wait_for_window(title, size)
    try:
        wait_until("the frame of %s on the screen" % what,
                   lambda: on_screen(frame_of(window), at_edges), 5)
    except Failure:
        raise Failure("the frame of %s spans %r on a %s screen" % (what, frame_of(window),
                                                                  SCREEN))
    print("ok   the frame of %s spans %r" % (what, frame_of(window)))
    return window


def run(session, arguments):
    session.env["QT_SCALE_FACTOR"] = "2"
    session.start_tessaro(arguments=["-platform", "xcb", "-style", "Fusion"],
                          size=MAIN_WINDOW_SIZE)
    expect_frame_on_screen(session, "the main window", "Tessaro", MAIN_WINDOW_SIZE, True)
    # About asks a cutter that is not there for its firmware: a box says so over About.
    session.press("alt+a")
    about = expect_frame_on_screen(session, "About", "About", ABOUT_SIZE, True)
    box = expect_frame_on_screen(session, "the box over About", "QUIX", ANY_SIZE)
    session.close_box(box)
    session.press("Return", about)
    check(session.window_gone("About", ABOUT_SIZE), "About stays open")
    session.press("ctrl+l")
    expect_frame_on_screen(session, "the log window", "Tessaro log", ANY_SIZE)
    session.press("alt+s")
    expect_frame_on_screen(session, "the wizard's first dialog", "Tessaro", SCALE_FORM_SIZE)


if __name__ == "__main__":
    sys.exit(main(run, argparse.ArgumentParser(), window_manager=True))
