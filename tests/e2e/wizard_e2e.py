#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The scaling wizard end to end, from the keyboard.

Usage: wizard_e2e.py --build-dir DIR --layout-tool TOOL --shots DIR

The real program beside tessaro-vcutter, whose mechanics cut 1 % long on X and 0.4 % short
on Y. The operator's measurements are the sizes the cutter reports for its test cut.
Afterwards the cutter's flash must hold the values the wizard computed, and a new 50 x 50
test cut must come out 50 x 50 mm within the resolution of the scale (one step in 1000,
0.05 mm). Then a cutter at scale 10000 on the same port, measured to a hundredth of a
millimetre: its flash must hold exactly what the calibration rules give (scale_oracle).
Screenshots of each step go to the shots directory.
"""

import argparse
import os
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from scale_oracle import new_scale  # noqa: E402
from tessaro_session import (MAIN_WINDOW, check, main, screenshot,  # noqa: E402
                             wait_until)

SCALE_FORM, MEASURE_FORM, MODIFY_FORM2 = "360x276", "360x211", "378x211"
SAVE_DATA_FORM, PASSWORD_FORM = "221x134", "189x106"
ANY_SIZE = r"\d+x\d+"


class Wizard:
    def __init__(self, session, shots):
        self.s = session
        self.shots = shots

    def shot(self, name):
        time.sleep(0.5)
        screenshot(os.path.join(self.shots, name + ".png"))

    def cuts_reach(self, count):
        return wait_until("cut %d" % count, lambda: len(self.s.cutter.cuts()) >= count, 20)

    def run(self, measure, scale_reply, tag):
        """From the Scaling button to "Save Complete !!" with the 50 x 50 test size.
        `measure` gives the measurement once the test cut is in; the password goes in once
        the cutter has answered the scale query with `scale_reply`."""
        s = self.s
        cuts = len(s.cutter.cuts())
        s.keys_to(*MAIN_WINDOW, "alt+s")
        s.wait_for_window("Tessaro", SCALE_FORM)
        self.shot(tag + "02-scale-form")
        s.keys_to("Tessaro", SCALE_FORM, "Return")
        self.cuts_reach(cuts + 1)
        width, height = measure()
        print("measured %s x %s mm" % (width, height))
        s.retype("Tessaro", MEASURE_FORM, "Edit1", width)
        s.retype("Tessaro", MEASURE_FORM, "Edit2", height)
        self.shot(tag + "03-scale-form2")
        s.keys_to("Tessaro", MEASURE_FORM, "Return")
        self.cuts_reach(cuts + 2)
        self.shot(tag + "04-modify-form2")
        # Yes, Save, then the password once the scale reply is in.
        s.keys_to("Tessaro", MODIFY_FORM2, "Return")
        s.wait_for_window("Tessaro", SAVE_DATA_FORM)
        self.shot(tag + "05-save-data-form")
        s.keys_to("Tessaro", SAVE_DATA_FORM, "Return")
        s.type_into("Tessaro", PASSWORD_FORM, "047")
        wait_until("the scale reply", lambda: "> " + scale_reply in s.cutter.transcript(), 20)
        self.shot(tag + "06-password-form")
        time.sleep(1)
        s.keys_to("Tessaro", PASSWORD_FORM, "Return")
        s.wait_for_window("QUIX", ANY_SIZE)
        self.shot(tag + "07-save-complete")
        s.keys_to("QUIX", ANY_SIZE, "Return")


def expect_flash(cutter, old, new_x, new_y):
    writes = cutter.flash_writes()
    for axis, value in (("X", new_x), ("Y", new_y)):
        check(any(w.endswith("flash %s scale %d -> %d" % (axis, old, value)) for w in writes),
              "flash %s is not %d: %r" % (axis, value, writes))


def run(session, arguments):
    os.makedirs(arguments.shots, exist_ok=True)
    wizard = Wizard(session, arguments.shots)
    cutter = session.start_cutter("--com", "auto", "--error", "1.01,0.996")
    session.start_tessaro()
    wizard.shot("01-main")

    # The measurement is the size the cutter reports for the test cut.
    wizard.run(lambda: session.cutter.cuts()[-1], "0,1000,1000", "")
    expect_flash(cutter, 1000, 1010, 995)

    # A new 50 x 50 test cut with the new scale.
    session.keys_to(*MAIN_WINDOW, "alt+s")
    session.keys_to("Tessaro", SCALE_FORM, "Return")
    wizard.cuts_reach(3)
    width, height = cutter.cuts()[-1]
    print("new test cut measures %s x %s mm" % (width, height))
    session.keys_to("Tessaro", MEASURE_FORM, "Escape")

    # The About dialog with the cutter's firmware.
    session.keys_to(*MAIN_WINDOW, "alt+a")
    session.wait_for_window("About", "289x223")
    time.sleep(1)
    wizard.shot("08-about-form")
    session.keys_to("About", "289x223", "Return")
    check(abs(float(width) - 50) <= 0.05 + 1e-9 and abs(float(height) - 50) <= 0.05 + 1e-9,
          "the new test cut measures %s x %s mm" % (width, height))

    # A cutter at scale 10000 in place of the first, measured 49.51 x 50 mm: there a
    # hundredth of a millimetre is one scale step, so the whole chain must follow the rules
    # exactly.
    cutter.stop()
    cutter = session.start_cutter("--com", cutter.com[3:], "--scale", "10000,10000")
    wizard.run(lambda: ("49.51", "50"), "0,10000,10000", "scale10000-")
    expected = (new_scale(10000, "50", "49.51"), new_scale(10000, "50", "50"))
    expect_flash(cutter, 10000, *expected)
    print("scale 10000, 49.51 x 50 mm: flash X %d, Y %d" % expected)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--shots", required=True)
    sys.exit(main(run, parser))
