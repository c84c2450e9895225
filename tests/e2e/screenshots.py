#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Takes the user guide's screenshots again from the real program.

Usage: screenshots.py --build-dir DIR --layout-tool TOOL --docs DIR   (docs/screenshots.sh)

Tessaro on a virtual X server beside tessaro-vcutter (a cutter whose mechanics cut 1 % long
on X and 0.4 % short on Y), driven from the keyboard as an operator would, each window
cropped to itself. The virtual cutters register in a private device map, so no other run
sees them; the serial ports of this machine are listed as they are, so the port list
differs from one machine to the next.
"""

import argparse
import grp
import os
import pty
import pwd
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from tessaro_session import (MAIN_WINDOW, check, main, screenshot,  # noqa: E402
                             wait_until, window_geometry, xdotool)

# Message boxes carry the caption QUIX; the port list's popup and the tooltips carry the
# application's name, Tessaro, and are told from the main window by their height.
BOX = r"[0-9]+x([6-9][0-9]|[1-9][0-9][0-9])"
POPUP = r"[0-9]+x([0-9]{1,2}|1[0-9]{2})"
TOOLTIP = r"[0-9]+x(1[0-9]|2[0-4])"
FIRST, MEASURE = ("Tessaro", "360x276"), ("Tessaro", "360x211")
NAMES = ("loop-detect main-window port-list usb-cable-plugged device-not-found scale-form "
         "refused-size refused-measurement scale-form2 modify-form2 save-data-form "
         "password-form save-complete about permission-denied log-window").split()


class Shooter:
    def __init__(self, session, docs):
        self.s = session
        self.docs = docs

    def shot(self, name, title, size):
        """Saves the window as docs/NAME.png."""
        window = self.s.wait_for_window(title, size)
        time.sleep(0.5)
        screenshot(os.path.join(self.docs, name + ".png"), window)

    def log_reaches(self, what, text, count):
        self.s.wait_for_log(what, lambda log: sum(text in line for line in log) >= count, 20)

    def answer_box(self, name):
        self.shot(name, "QUIX", BOX)
        self.s.keys_to("QUIX", BOX, "Return")

    def panel(self):
        """Poll Size, then Loop Detect while it runs, then after DisDetect."""
        s = self.s
        s.keys_to(*MAIN_WINDOW, "alt+p")
        self.log_reaches("the size reply", "Close COM200 OK", 1)
        s.keys_to(*MAIN_WINDOW, "alt+l")
        self.log_reaches("two settings replies", "接收:0,30", 2)
        self.shot("loop-detect", *MAIN_WINDOW)
        s.keys_to(*MAIN_WINDOW, "alt+d")
        self.log_reaches("the end of Loop Detect", "Close COM200 OK", 2)
        self.shot("main-window", *MAIN_WINDOW)

    def port_list(self):
        """The port list, opened with a USB cutter plugged in, the mouse resting on the
        right end of the first entry, so that its tooltip stands beside the list instead of
        over it. The list and the tooltip are windows of their own: the screen (white) is
        cropped to the main window's place and a margin on its right for the tooltip."""
        s = self.s
        usb = s.start_cutter("--usb", "0")
        main_window = s.window
        # The list opens from the arrow at its right end, a square as high as the list.
        x, y, width, height = s.layout().box(MAIN_WINDOW[1], "app::TPortListBox")
        xdotool("windowfocus", "--sync", main_window)
        xdotool("mousemove", "--window", main_window, x + width - height // 2, y + height // 2,
                "click", "1")
        popup = s.wait_for_window("Tessaro", POPUP)
        x, y, width, _ = window_geometry(popup)
        for step in (3, 2, 1, 0):
            xdotool("mousemove", x + width - 6 - step, y + 4 + step)
            time.sleep(0.1)
        s.wait_for_window("Tessaro", TOOLTIP)
        time.sleep(0.5)
        x, y, width, height = window_geometry(main_window)
        screenshot(os.path.join(self.docs, "port-list.png"), crop=(width + 72, height, x, y))
        xdotool("key", "Escape")
        time.sleep(0.3)
        # Scaling with a COM port chosen while the USB cutter is attached.
        s.keys_to(*MAIN_WINDOW, "alt+s")
        self.answer_box("usb-cable-plugged")
        usb.stop()
        wait_until("the USB cutter to leave",
                   lambda: not os.path.lexists(os.path.join(s.device_map, "USB0")), 20)

    def silent_cutter(self):
        """Loop Detect on a cutter that stays silent."""
        s = self.s
        s.start_cutter("--com", "201", "--fault", "silent")
        s.type_port("COM201")
        self.log_reaches("the port check", "COM201 Check OK", 1)
        s.keys_to(*MAIN_WINDOW, "alt+l")
        self.answer_box("device-not-found")
        s.type_port("COM200")
        self.log_reaches("the port check", "COM200 Check OK", 3)

    def wizard(self, cutter):
        """The first dialog refuses a test size of 0, then cuts 50 x 50 mm; a measurement
        far from the test size is refused; then the cut's real size, Yes, Save, the service
        password once the cutter's scale values are in, and done."""
        s = self.s
        s.keys_to(*MAIN_WINDOW, "alt+s")
        self.shot("scale-form", *FIRST)
        s.retype(*FIRST, "EdTestDraw_X", "0")
        s.keys_to(*FIRST, "Return")
        self.answer_box("refused-size")
        s.retype(*FIRST, "EdTestDraw_X", "50")
        s.keys_to(*FIRST, "Return")
        wait_until("the test cut", cutter.cuts, 20)
        width, height = cutter.cuts()[-1]
        s.retype(*MEASURE, "Edit1", "56")
        s.retype(*MEASURE, "Edit2", height)
        s.keys_to(*MEASURE, "Return")
        self.answer_box("refused-measurement")
        s.retype(*MEASURE, "Edit1", width)
        self.shot("scale-form2", *MEASURE)
        s.keys_to(*MEASURE, "Return")
        wait_until("the corrected cut", lambda: len(cutter.cuts()) >= 2, 20)
        self.shot("modify-form2", "Tessaro", "378x211")
        s.keys_to("Tessaro", "378x211", "Return")
        self.shot("save-data-form", "Tessaro", "221x134")
        s.keys_to("Tessaro", "221x134", "Return")
        wait_until("the scale reply", lambda: "> 0,1012,996" in cutter.transcript(), 20)
        s.retype("Tessaro", "189x106", "EdPassword", "047")
        self.shot("password-form", "Tessaro", "189x106")
        s.keys_to("Tessaro", "189x106", "Return")
        self.answer_box("save-complete")
        check(any("flash Y scale" in w for w in cutter.flash_writes()),
              "the new scale was not written")

    def about(self, cutter):
        """About, once the firmware reply has been shown."""
        s = self.s
        s.keys_to(*MAIN_WINDOW, "alt+a")
        wait_until("the firmware reply", lambda: "> 0,0,TC-60" in cutter.transcript(), 20)
        time.sleep(0.5)
        self.shot("about", "About", "289x223")
        s.keys_to("About", "289x223", "Return")

    def locked_port(self):
        """A port the operator may not open: a pseudo-terminal of the group dialout,
        registered as COM150. Poll Size ends in the box that says why."""
        s = self.s
        master, slave = pty.openpty()
        node = os.ttyname(slave)
        os.close(slave)
        if os.getuid() == 0:
            os.chown(node, pwd.getpwnam("nobody").pw_uid, grp.getgrnam("dialout").gr_gid)
            os.chmod(node, 0o660)
        else:
            os.chmod(node, 0)
        os.symlink(node, os.path.join(s.device_map, "COM150"))
        s.type_port("COM150")
        self.log_reaches("the failed check", "COM150 Check Fail", 1)
        s.keys_to(*MAIN_WINDOW, "alt+p")
        self.answer_box("permission-denied")
        return master


def run(session, arguments):
    shooter = Shooter(session, os.path.abspath(arguments.docs))
    cutter = session.start_cutter("--com", "200", "--error", "1.02212,0.992016")
    # Root opens any device; without its override of file permissions it meets them as an
    # operator does, so the locked port refuses it.
    prefix = ["setpriv", "--bounding-set=-dac_override,-dac_read_search"]
    session.start_tessaro(prefix if os.getuid() == 0 else ())
    time.sleep(1)
    shooter.panel()
    shooter.port_list()
    shooter.silent_cutter()
    shooter.wizard(cutter)
    shooter.about(cutter)
    locked = shooter.locked_port()
    # The log window, from Ctrl+L.
    session.keys_to(*MAIN_WINDOW, "ctrl+l")
    shooter.shot("log-window", "Tessaro log", "640x400")
    os.close(locked)
    print("\n".join(line for line in cutter.transcript().splitlines()
                    if "cut closed shape" in line or "flash" in line))
    paths = [os.path.join(shooter.docs, name + ".png") for name in NAMES]
    print(subprocess.run(["identify", "-format", "%f %wx%h %b\n"] + paths,
                         capture_output=True, text=True).stdout, end="")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--docs", required=True)
    sys.exit(main(run, parser, white_root=True))
