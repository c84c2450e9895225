#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The scaling wizard end to end, from the keyboard.

Usage: wizard_e2e.py --build-dir DIR --layout-tool TOOL --box-size-tool TOOL
                     (--shots DIR | --kind KIND)

The real program beside tessaro-vcutter, which holds the scales 1012 and 996 and cuts 1 %
long on X and 0.4 % short on Y with them (CUTTER_ERROR). The operator's measurements are the sizes the cutter reports for its test cut.
Afterwards the cutter's flash must hold the values the wizard computed, and a new 50 x 50
test cut must come out 50 x 50 mm within the resolution of the scale (one step in 1000,
0.05 mm). Then a cutter at scale 10000 on the same port, measured to a hundredth of a
millimetre: its flash must hold exactly what the calibration rules give (scale_oracle).
Screenshots of each step go to the shots directory.

With --kind, one cutter kind of the table KINDS instead, each on a tessaro of its own: a
cutter ending its replies with CR LF on either link, one busy with its flash after a scale
write, one whose flash scale is 0, a port held by another program, and two cutters of which
the operator chose one.
"""

import argparse
import fcntl
import os
import sys
import termios
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from poll_e2e import SIZE_REPLY  # noqa: E402
from scale_oracle import new_scale  # noqa: E402
from tessaro_session import (MAIN_WINDOW, appears_in_order, check, main,  # noqa: E402
                             screenshot, visible_windows, wait_until, window_of)

SCALE_FORM, MEASURE_FORM, MODIFY_FORM2 = "360x276", "360x211", "378x211"
SAVE_DATA_FORM, PASSWORD_FORM = "221x134", "189x106"
ANY_SIZE = r"\d+x\d+"


class Wizard:
    def __init__(self, session, shots):
        self.s = session
        self.shots = shots

    def shot(self, name):
        if self.shots is None:
            return
        time.sleep(0.5)
        screenshot(os.path.join(self.shots, name + ".png"))

    def cuts_reach(self, count):
        return wait_until("cut %d" % count, lambda: self.s.cutter.cut_attempts() >= count, 20)

    def run(self, measure, scale_reply, tag):
        """From the Scaling button to "Save Complete !!" with the 50 x 50 test size."""
        self.to_password(measure, scale_reply, tag)
        self.s.keys_to("Tessaro", PASSWORD_FORM, "Return")
        self.s.wait_for_window("QUIX", ANY_SIZE)
        self.shot(tag + "07-save-complete")
        self.s.keys_to("QUIX", ANY_SIZE, "Return")

    def to_password(self, measure, scale_reply, tag=""):
        """From the Scaling button to the password typed, the OK not yet pressed.
        `measure` gives the measurement once the test cut is in; the password goes in once
        the cutter has answered the scale query with `scale_reply`."""
        s = self.s
        cuts = s.cutter.cut_attempts()
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


# The virtual cutter's flash at start, which differs per axis, and what the wizard writes
# for the 50 x 50 test cut it cuts 50.5 x 49.8 mm with the mechanical errors CUTTER_ERROR.
DEFAULT_SCALE = (1012, 996)
CALIBRATED_SCALE = (1022, 992)
CUTTER_ERROR = "1.02212,0.992016"  # 1.01 x 1012 / 1000 and 0.996 x 996 / 1000


def expect_flash(cutter, old, new):
    writes = cutter.flash_writes()
    for axis, was, value in zip("XY", old, new):
        check(any(w.endswith("flash %s scale %d -> %d" % (axis, was, value)) for w in writes),
              "flash %s is not %d: %r" % (axis, value, writes))


def measured_as_reported(session):
    return lambda: session.cutter.cuts()[-1]


def calibrate(session, options, expect_box, link="com", quiet_after=2.0):
    """Calibrates a cutter that cuts 1 % long on X and 0.4 % short on Y, measured as it
    reports its test cut, on `link`; `expect_box(text)` judges the one box at the end."""
    cutter = session.start_cutter("--" + link, "auto" if link == "com" else "0",
                                  "--error", CUTTER_ERROR, *options)
    session.start_tessaro()
    port = cutter.com if link == "com" else cutter.usb
    if link == "usb":
        session.choose_last_port()
        session.wait_for_log("the USB entry chosen", lambda log: port + " Check OK" in log)
    wizard = Wizard(session, None)
    wizard.to_password(measured_as_reported(session), "0,1012,996")
    early = visible_windows("QUIX")
    check(not early, "before the password's OK a box says %r" % (
        early and session.box_message(early[0][0])))
    session.keys_to("Tessaro", PASSWORD_FORM, "Return")
    expect_box(session.only_box_message(quiet_after=quiet_after))
    check("<ESC>.C6;1;1022:<ESC>.C6;0;992:" in "".join(cutter.commands_received(port)),
          "the scale write did not reach the cutter: %r" % cutter.commands_received(port))
    return cutter


def saved(text):
    check(text == "Save Complete !!", "the box says %r, not \"Save Complete !!\"" % text)


def not_read_back(text):
    check("could not be read back" in text, "the box does not say the scale could not be "
          "read back: %r" % text)


def calibrated_and_saved(options, link="com"):
    def kind(session):
        cutter = calibrate(session, options, saved, link)
        expect_flash(cutter, DEFAULT_SCALE, CALIBRATED_SCALE)
    return kind


def flash_never_read_back(session):
    """The read-back still unanswered when tessaro stops waiting: one box, and no "Device
    not found" after it once the late answer comes."""
    calibrate(session, ["--fault", "flash-busy:5000"], not_read_back, quiet_after=5.0)


def scale_of_zero_refused(session):
    """The new scale cannot be computed from a scale of 0: one box, the password dialog
    closed, nothing written, and the link free for the next exchange."""
    cutter = session.start_cutter("--com", "auto", "--scale", "0,6164")
    session.start_tessaro()
    Wizard(session, None).to_password(lambda: ("50.5", "49.8"), "0,0,6164")
    session.keys_to("Tessaro", PASSWORD_FORM, "Return")
    text = session.only_box_message()
    check("is not above zero" in text, "the box says %r" % text)
    check(session.window_gone("Tessaro", PASSWORD_FORM), "the password dialog stays open")
    commands = cutter.commands_received(cutter.com)
    check(not any("<ESC>.C6" in c for c in commands), "a scale was written: %r" % commands)
    mark = len(session.log())
    session.press("alt+p")
    session.wait_for_log("the size reply after the refusal",
                         lambda log: appears_in_order(log[mark:], SIZE_REPLY))
    check("Port has already been opened!" not in session.log()[mark:], "the port was left open")


def port_held_by_another_program(session):
    """Scaling, Ok with the port held: a box says the rectangle was not sent and why,
    then the measurement dialog comes as usual."""
    cutter = session.start_cutter("--com", "auto")
    session.start_tessaro()
    held = os.open(os.path.realpath(os.path.join(session.device_map, cutter.com)),
                   os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        # As the serial code of Linux takes a port for itself.
        fcntl.flock(held, fcntl.LOCK_EX | fcntl.LOCK_NB)
        fcntl.ioctl(held, termios.TIOCEXCL)
        mark = len(cutter.commands_received(cutter.com))
        session.keys_to(*MAIN_WINDOW, "alt+s")
        session.keys_to("Tessaro", SCALE_FORM, "Return")
        wait_until("a box or the measurement dialog", lambda: visible_windows("QUIX") or
                   window_of("Tessaro", MEASURE_FORM), 20)
        check(window_of("Tessaro", MEASURE_FORM) is None,
              "the measurement dialog came before any box said the rectangle was not sent")
        text = session.only_box_message(quiet_after=0)
        lines = text.split("\n")
        check(lines[0] == "The test rectangle was not sent to the cutter.",
              "the box's first line is %r" % lines[0])
        check("in use by another program" in text, "the box does not name the cause")
        session.wait_for_window("Tessaro", MEASURE_FORM, timeout=10)
        check(cutter.commands_received(cutter.com)[mark:] == [],
              "the cutter received %r" % cutter.commands_received(cutter.com)[mark:])
    finally:
        os.close(held)


def port_list_keeps_the_chosen_port(session):
    """COM150 chosen with COM200 listed: opening the port list and leaving it with Esc
    keeps COM150, and the next Poll Size goes there."""
    chosen = session.start_cutter("--com", "150")
    other = session.start_cutter("--com", "200")
    session.start_tessaro()
    session.type_port("COM150")
    session.wait_for_log("COM150 checked", lambda log: "COM150 Check OK" in log)
    session.open_port_list()
    session.press("Escape")
    shown = session.port_text()
    check(shown == "COM150", "the port list's text is %r after Esc, not COM150" % shown)
    mark = len(session.log())
    session.press("alt+p")
    session.wait_for_log("the size reply", lambda log: appears_in_order(log[mark:], SIZE_REPLY))
    check(chosen.commands_received("COM150") == ["OH;"] and
          other.commands_received("COM200") == [],
          "Poll Size went to COM200: COM150 received %r, COM200 %r" % (
              chosen.commands_received("COM150"), other.commands_received("COM200")))


KINDS = {
    "crlf-com": calibrated_and_saved(["--fault", "crlf"]),
    "crlf-usb": calibrated_and_saved(["--fault", "crlf"], "usb"),
    "flash-busy-400": calibrated_and_saved(["--fault", "flash-busy:400"]),
    "flash-busy-1500": calibrated_and_saved(["--fault", "flash-busy:1500"]),
    "flash-busy-5000": flash_never_read_back,
    "scale-0": scale_of_zero_refused,
    "port-held": port_held_by_another_program,
    "two-cutters": port_list_keeps_the_chosen_port,
}


def run(session, arguments):
    if arguments.kind:
        KINDS[arguments.kind](session)
        return
    os.makedirs(arguments.shots, exist_ok=True)
    wizard = Wizard(session, arguments.shots)
    cutter = session.start_cutter("--com", "auto", "--error", CUTTER_ERROR)
    session.start_tessaro()
    wizard.shot("01-main")

    # The measurement is the size the cutter reports for the test cut.
    wizard.run(lambda: session.cutter.cuts()[-1], "0,1012,996", "")
    expect_flash(cutter, DEFAULT_SCALE, CALIBRATED_SCALE)

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
    expect_flash(cutter, (10000, 10000), expected)
    print("scale 10000, 49.51 x 50 mm: flash X %d, Y %d" % expected)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    options = parser.add_mutually_exclusive_group(required=True)
    options.add_argument("--shots")
    options.add_argument("--kind", choices=sorted(KINDS))
    sys.exit(main(run, parser))
