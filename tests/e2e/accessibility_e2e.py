#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The windows as a screen reader meets them: the AT-SPI tree of the real program.

Usage: accessibility_e2e.py --build-dir DIR --layout-tool TOOL

Runs itself in a D-Bus session of its own (dbus-run-session) on an Xvfb of its own, with
Qt's accessibility bridge on, beside tessaro-vcutter; skipped (exit code 77) without
dbus-run-session, the AT-SPI registry or pyatspi. Walks the main window, About, and the
wizard's dialogs with fields (the test size, the measurement, the password) as an
operator reaches them from the keyboard, and checks the role and name of everything they
show, that each value of the panel is labelled by its caption, and that Tab goes round
the panel's controls and nothing else (the hidden log is not among them).
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

# The port list reads as the port it shows (the cutter's), labelled by its frame.
MAIN_WINDOW = ([("frame", "Tessaro"), ("push button", "Poll Size"),
                ("push button", "Loop Detect"), ("push button", "DisDetect"),
                ("push button", "Scaling"), ("panel", "")] +
               [("label", row) for row in ROWS] * 2 +
               [("panel", "Port"), ("combo box", None), ("text", "Port"),
                ("push button", "Exit"), ("push button", "About")])
# Tab from one control to the next, round the panel (DisDetect is greyed at start).
TAB_RING = [("push button", "Poll Size"), ("push button", "Loop Detect"),
            ("push button", "Scaling"), ("combo box", None), ("push button", "Exit"),
            ("push button", "About")]
ABOUT = [("dialog", "About"), ("panel", "Firmware"), ("label", "Model"),
         ("label", "Version"), ("label", "Model"), ("label", "Version"),
         ("push button", "OK"), ("label", None)]
SCALE_FORM = [("dialog", "Tessaro"), ("label", None), ("panel", ""),
              ("radio button", "Calibration"), ("label", "Calibration"),
              ("panel", "Input test draw size"), ("label", "X:"), ("text", "Test size X"),
              ("label", "mm"), ("label", "Y:"), ("text", "Test size Y"), ("label", "mm"),
              ("push button", "Ok"), ("push button", "Cancel")]
MEASURE_FORM = [("dialog", "Tessaro"), ("label", None), ("label", "Length X:"),
                ("text", "Length X"), ("label", "mm"), ("label", "Width Y:"),
                ("text", "Width Y"), ("label", "mm"), ("push button", "OK")]
PASSWORD_FORM = [("dialog", "Tessaro"), ("label", "Password:"),
                 ("password text", "Password"), ("push button", "OK")]


def expect_labels(reader, window):
    """Each caption of the panel is the label for its value, and the value says so; the
    port list is labelled by its frame."""
    frames = {child.name: child for child in window if child.getRoleName() == "panel"}
    port_list = frames["Port"].getChildAtIndex(0)
    check([(relation.getRelationType(), relation.getTarget(0).name)
           for relation in port_list.getRelationSet()] ==
          [(reader.atspi.RELATION_LABELLED_BY, "Port")], "the port list is not labelled")
    frame = frames[""]
    labels = list(frame)
    for row, name in enumerate(ROWS):
        caption, value = labels[row], labels[row + len(ROWS)]
        relations = {
            (relation.getRelationType(), relation.getTarget(0).getIndexInParent())
            for node in (caption, value) for relation in node.getRelationSet()
            if relation.getNTargets() == 1}
        check((reader.atspi.RELATION_LABEL_FOR, row + len(ROWS)) in relations and
              (reader.atspi.RELATION_LABELLED_BY, row) in relations,
              "%s: caption and value are not related: %r" % (name, relations))
    print("ok   the nine captions label their values, the frame the port list")


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
    session.keys_to("Tessaro", "378x211", "Return")
    session.keys_to("Tessaro", "221x134", "Return")
    reader.expect_window("the password dialog", PASSWORD_FORM)


if __name__ == "__main__":
    enter_dbus_session()
    sys.exit(main(run, argparse.ArgumentParser()))
