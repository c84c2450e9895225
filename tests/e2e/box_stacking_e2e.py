#!/usr/bin/env python3
"""Message boxes over the always-on-top dialogs, under a real window manager.

Usage: box_stacking_e2e.py --build-dir DIR

Runs itself under xvfb-run with openbox managing the windows (exit code 77, a skip,
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
import shutil
import subprocess
import sys
import termios
import threading
import time
import tty

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from tessaro_session import (SKIP_RETURN_CODE, Failure, Session, run_under_xvfb,  # noqa: E402
                             wait_until, xdotool)

MALFORMED_SETTINGS = b"0,abc,80,250,5,1,0,2\r"
SETTINGS_QUERY = b"\x1b.R1:"


def check(condition, message):
    if not condition:
        raise Failure(message)


def start_window_manager():
    """Starts openbox and waits until it manages the screen."""
    if shutil.which("openbox") is None:
        print("openbox is not installed: skipped")
        sys.exit(SKIP_RETURN_CODE)
    manager = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    wait_until("openbox", lambda: "window id" in subprocess.run(
        ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True,
        text=True).stdout, 10)
    return manager


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


def window_named(title, size):
    """The visible window with this title and size ("360x211")."""
    def found():
        for window in xdotool("search", "--onlyvisible", "--name", "^%s$" % title):
            geometry = subprocess.run(["xdotool", "getwindowgeometry", window],
                                      capture_output=True, text=True).stdout
            if "Geometry: %s" % size in geometry:
                return int(window)
        return None
    return wait_until("the window %s %s" % (title, size), found, 20)


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


def type_into(session, window, x, y, text):
    xdotool("windowfocus", "--sync", window)
    xdotool("mousemove", "--window", window, x, y, "click", "1")
    time.sleep(0.2)
    xdotool("key", "--clearmodifiers", "ctrl+a")
    xdotool("type", "--delay", "40", text)


def run(session, device_map):
    session.start_cutter("--com", "200")
    ScriptedCutter(device_map, "COM199")
    session.start_tessaro()

    session.press("alt+s")
    scale_form = window_named("Tessaro", "360x276")
    session.press("Return", scale_form)
    measure = window_named("Tessaro", "360x211")
    type_into(session, measure, 188, 108, "56")
    session.press("Return", measure)
    expect_box_on_top(session, "refused measurement", measure)

    type_into(session, measure, 188, 108, "50.5")
    session.press("Return", measure)
    check_form = window_named("Tessaro", "378x211")
    session.press("Return", check_form)
    save_form = window_named("Tessaro", "221x134")
    session.press("Return", save_form)
    password = window_named("Tessaro", "189x106")
    type_into(session, password, 130, 33, "123")
    session.press("Return", password)
    expect_box_on_top(session, "wrong password", password)

    # The password dialog stays open, on top; the operator goes back to the main window.
    type_into(session, session.window, 300, 134, "COM199")
    # Each keystroke checks the text so far; the last check is the scripted port's.
    time.sleep(1.0)
    session.press("alt+l")
    expect_box_on_top(session, "decode error during Loop Detect", password)
    session.press("alt+d")

    session.press("alt+a")
    about = window_named("About", "289x223")
    expect_box_on_top(session, "About with a silent cutter", about)
    session.press("Return", about)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    arguments = parser.parse_args()
    run_under_xvfb()
    manager = start_window_manager()
    session = Session(arguments.build_dir)
    device_map = os.path.join(session.runtime_dir, "tessaro", "devices")
    try:
        run(session, device_map)
        return 0
    except Failure as failure:
        print("FAILED: %s" % failure)
        print("--- tessaro's log (last 40 lines) ---")
        print("\n".join(session.log()[-40:]) if session.app else "(not started)")
        return 1
    finally:
        session.close()
        manager.terminate()
        manager.wait()


if __name__ == "__main__":
    sys.exit(main())
