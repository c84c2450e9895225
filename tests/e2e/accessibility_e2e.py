#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The windows as a screen reader meets them: the AT-SPI tree of the real program.

Usage: accessibility_e2e.py --build-dir DIR --layout-tool TOOL

Runs itself in a D-Bus session of its own (dbus-run-session) on an Xvfb of its own, with
Qt's accessibility bridge on, beside tessaro-vcutter; skipped (exit code 77) without
dbus-run-session, the AT-SPI registry or pyatspi. Walks the main window, About, and the
wizard's dialogs with fields (the test size, the measurement, the password) as an
operator reaches them from the keyboard, and checks the role and name of everything they
show: each thing is read once (a value by its row's name, its caption left out), frames
and dialogs say what they hold, and Tab goes round the panel's controls and nothing else
(the hidden log is not among them).
"""

import argparse
import os
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from screen_reader import Reader, enter_dbus_session, reads_as  # noqa: E402
from tessaro_session import Failure, check, main, wait_until  # noqa: E402

ROWS = ["Poll Size X", "Poll Size Y", "Force", "Offset", "Media Weight", "Quality", "Smooth",
        "Auto Unroll", "Media Type"]

# The port list reads as the port it shows (the cutter's), labelled by its frame. A row
# reads once, as its value named by the row.
MAIN_WINDOW = ([("frame", "Tessaro"), ("push button", "Poll Size"),
                ("push button", "Loop Detect"), ("push button", "DisDetect"),
                ("push button", "Scaling"), ("panel", "Cutter settings")] +
               [("label", row) for row in ROWS] +
               [("panel", "Port"), ("combo box", None), ("text", "Port"),
                ("push button", "Exit"), ("push button", "About")])
# Tab from one control to the next, round the panel (DisDetect is greyed at start).
TAB_RING = [("push button", "Poll Size"), ("push button", "Loop Detect"),
            ("push button", "Scaling"), ("combo box", None), ("push button", "Exit"),
            ("push button", "About")]
ABOUT = [("dialog", "About"), ("panel", "Firmware"), ("label", "Model"),
         ("label", "Version"), ("push button", "OK"), ("label", None)]
# Each wizard dialog says which step it is (its title is "Tessaro" for all of them).
SCALE_FORM = [("dialog", "Scaling: test cut"), ("label", None),
              ("panel", "Adjustment method"), ("radio button", "Calibration"),
              ("panel", "Input test draw size"), ("label", "X:"), ("text", "Test size X"),
              ("label", "mm"), ("label", "Y:"), ("text", "Test size Y"), ("label", "mm"),
              ("push button", "Ok"), ("push button", "Cancel")]
MEASURE_FORM = [("dialog", "Scaling: measured size"), ("label", None), ("label", "Length X:"),
                ("text", "Length X"), ("label", "mm"), ("label", "Width Y:"),
                ("text", "Width Y"), ("label", "mm"), ("push button", "OK")]
CHECK_FORM = [("dialog", "Scaling: check the corrected cut"), ("label", None),
              ("push button", "Yes"), ("push button", "No")]
SAVE_FORM = [("dialog", "Scaling: save to the cutter"), ("label", "Save data to flash rom ?"),
             ("push button", "Save"), ("push button", "Cancel")]
PASSWORD_FORM = [("dialog", "Scaling: password"), ("label", "Password:"),
                 ("password text", "Password"), ("push button", "OK")]


def expect_labels(reader, window):
    """The port list is labelled by its frame; the panel's values, the only parts of their
    frame, are labelled by nothing a screen reader would read again."""
    frames = {child.name: child for child in window if child.getRoleName() == "panel"}
    port_list = frames["Port"].getChildAtIndex(0)
    check([(relation.getRelationType(), relation.getTarget(0).name)
           for relation in port_list.getRelationSet()] ==
          [(reader.atspi.RELATION_LABELLED_BY, "Port")], "the port list is not labelled")
    values = frames["Cutter settings"]
    check(values.childCount == len(ROWS), "the panel holds %d parts" % values.childCount)
    for value in values:
        relations = [relation.getRelationType() for relation in value.getRelationSet()]
        check(relations == [], "%s: related to %r" % (value.name, relations))
    print("ok   the nine values stand alone, the frame labels the port list")


def expect_tab_ring(session, reader, window):
    """Tab visits the panel's enabled controls in their order, round and round."""
    visited = []
    for _ in range(len(TAB_RING) + 1):
        before = reader.focused(window)
        session.press("Tab")
        try:
            wait_until("the focus to move", lambda: reader.focused(window) != before, 5)
        except Failure:
            pass
        visited.append(reader.focused(window))
    start = next((index for index, control in enumerate(TAB_RING)
                  if reads_as(visited[:1], [control])), None)
    check(start is not None, "Tab reached %r, no control of the panel" % (visited[0],))
    ring = [TAB_RING[(start + step) % len(TAB_RING)] for step in range(len(visited))]
    check(reads_as(visited, ring), "Tab went\n  %s\nwant\n  %s" % (visited, ring))
    print("ok   Tab goes round the panel's %d controls" % len(TAB_RING))


def run(session, arguments):
    session.start_cutter("--com", "auto")
    session.start_tessaro()
    reader = Reader()
    main_window = reader.expect_window("the main window", MAIN_WINDOW, newest=False)
    expect_labels(reader, main_window)
    expect_tab_ring(session, reader, main_window)

    session.press("alt+a")
    reader.expect_window("About", ABOUT)
    session.keys_to("About", "289x223", "Return")

    session.press("alt+s")
    reader.expect_window("the test size dialog", SCALE_FORM)
    session.keys_to("Tessaro", "360x276", "Return")
    reader.expect_window("the measurement dialog", MEASURE_FORM)
    session.retype("Tessaro", "360x211", "Edit1", "50.5")
    session.keys_to("Tessaro", "360x211", "Return")
    reader.expect_window("the check of the corrected cut", CHECK_FORM)
    session.keys_to("Tessaro", "378x211", "Return")
    reader.expect_window("the save question", SAVE_FORM)
    session.keys_to("Tessaro", "221x134", "Return")
    reader.expect_window("the password dialog", PASSWORD_FORM)


if __name__ == "__main__":
    enter_dbus_session()
    sys.exit(main(run, argparse.ArgumentParser()))
