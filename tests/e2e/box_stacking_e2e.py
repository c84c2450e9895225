#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Message boxes over the always-on-top dialogs, under a real window manager.

Usage: box_stacking_e2e.py --build-dir DIR --layout-tool TOOL

Runs itself on an Xvfb of its own with openbox managing the windows (exit code 77, a skip,
when either is missing), beside tessaro-vcutter on COM200 and a scripted cutter on COM199
that answers the settings query with a field that is no number and never answers the
firmware query. Four boxes are opened as an operator meets them: a refused measurement
over the measurement dialog, a wrong password over the password dialog, a decode error
during Loop Detect while the password dialog stays open, and "Device not found" over
About. Each must be the topmost window of the screen, viewable, stacked over the dialog.
"""

import argparse
import os
import pty
import subprocess
import sys
import termios
import threading
import time
import tty

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from tessaro_session import check, main  # noqa: E402

MALFORMED_SETTINGS = b"0,abc,80,250,5,1,0,2\r"
SETTINGS_QUERY = b"\x1b.R1:"


class ScriptedCutter:
    """A pseudo-terminal registered as a COM port that answers only the settings query, and
    that with a reply whose force is no number."""

    def __init__(self, device_map, name):
        self.master, slave = pty.openpty()
        tty.setraw(slave)
        attributes = termios.tcgetattr(slave)
        attributes[3] &= ~termios.ECHO
        termios.tcsetattr(slave, termios.TCSANOW, attributes)
        os.makedirs(device_map, mode=0o700, exist_ok=True)
        os.symlink(os.ttyname(slave), os.path.join(device_map, name))
        self.slave = slave
        threading.Thread(target=self.answer, daemon=True).start()

    def answer(self):
        received = b""
        while True:
            try:
                received += os.read(self.master, 256)
            except OSError:
                return
            while SETTINGS_QUERY in received:
                received = received.split(SETTINGS_QUERY, 1)[1]
                os.write(self.master, MALFORMED_SETTINGS)


def stacking():
    """The managed windows, bottom to top."""
    text = subprocess.run(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"],
                          capture_output=True, text=True).stdout
    return [int(word.strip(","), 16) for word in text.split("#", 1)[-1].split()]


def viewable(window):
    info = subprocess.run(["xwininfo", "-id", str(window)], capture_output=True,
                          text=True).stdout
    return "Map State: IsViewable" in info


def expect_box_on_top(session, what, dialog):
    box = int(session.box(timeout=15))
    # The window manager restacks as the box maps; give it a moment to settle.
    time.sleep(0.5)
    order = stacking()
    check(box in order, "%s: the box is not managed: %r" % (what, order))
    check(order[-1] == box, "%s: the box is not the topmost window: %r (box %d)"
          % (what, order, box))
    check(dialog in order and order.index(dialog) < order.index(box),
          "%s: the box is not over the dialog: %r (box %d, dialog %d)"
          % (what, order, box, dialog))
    check(viewable(box), "%s: the box is not viewable" % what)
    print("ok   %s: box %d topmost, over %d" % (what, box, dialog))
    session.close_box(box)


def run(session, arguments):
    # The cutter the program chooses at start; the scripted one a number below it.
    cutter = session.start_cutter("--com", "auto")
    ScriptedCutter(session.device_map, "COM%d" % (int(cutter.com[3:]) - 1))
    session.start_tessaro()

    session.press("alt+s")
    scale_form = session.wait_for_window("Tessaro", "360x276")
    session.press("Return", scale_form)
    measure = int(session.wait_for_window("Tessaro", "360x211"))
    session.retype("Tessaro", "360x211", "Edit1", "56")
    session.press("Return", measure)
    expect_box_on_top(session, "refused measurement", measure)

    session.retype("Tessaro", "360x211", "Edit1", "50.5")
    session.press("Return", measure)
    check_form = session.wait_for_window("Tessaro", "378x211")
    session.press("Return", check_form)
    save_form = session.wait_for_window("Tessaro", "221x134")
    session.press("Return", save_form)
    password = int(session.wait_for_window("Tessaro", "189x106"))
    session.retype("Tessaro", "189x106", "EdPassword", "123")
    session.press("Return", password)
    expect_box_on_top(session, "wrong password", password)

    # The password dialog stays open, on top; the operator goes back to the main window.
    session.type_port("COM%d" % (int(cutter.com[3:]) - 1))
    # Each keystroke checks the text so far; the last check is the scripted port's.
    time.sleep(1.0)
    session.press("alt+l")
    expect_box_on_top(session, "decode error during Loop Detect", password)
    session.press("alt+d")

    session.press("alt+a")
    about = int(session.wait_for_window("About", "289x223"))
    expect_box_on_top(session, "About with a silent cutter", about)
    session.press("Return", about)


if __name__ == "__main__":
    sys.exit(main(run, argparse.ArgumentParser(), window_manager=True))
