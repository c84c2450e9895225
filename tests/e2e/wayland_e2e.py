#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Tessaro on Wayland: the windows an operator opens, as a headless weston records them.

Usage: wayland_e2e.py --build-dir DIR --desktop-file FILE

Starts weston with its headless backend (skipped, exit code 77, without weston or the
AT-SPI tools the driver presses buttons through) and tessaro on it with `-platform
wayland` and no X display, beside a virtual cutter that never answers. Through the
accessibility bus it opens the wizard's first dialog and cancels it, and presses Poll
Size until "Device not found" comes as a box, then OK and Exit. What is checked is
weston's own record of the protocol: three top-level windows, the main window, the
dialog and the box, each given its title and the desktop entry's name as its app id, and
each given a picture (a buffer attached to its surface); and that tessaro ends with 0.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from screen_reader import Reader, enter_dbus_session  # noqa: E402
from tessaro_session import (SKIP_RETURN_CODE, check, end_process, main,  # noqa: E402
                             read_text, wait_until)

SOCKET = "tessaro-e2e"
# A request as weston's protocol log shows it: the client, the object and the call.
REQUEST = re.compile(r"\]\[proto\] client (\S+) rq (\w+)@(\d+)\.(\w+)\((.*)\)$")


class TopLevel:
    def __init__(self):
        self.title = self.app_id = None
        self.drawn = False


def top_levels(log):
    """The xdg top-level windows of weston's protocol log, in the order they were made,
    with the title, app id and whether a buffer was attached to the window's surface."""
    made = []
    # Object numbers are per client and reused once an object is destroyed.
    surface_of_xdg_surface, by_toplevel, by_surface = {}, {}, {}
    for line in log.splitlines():
        found = REQUEST.search(line)
        if not found:
            continue
        client, interface, number, call, arguments = found.groups()
        objects = [(client, n) for n in re.findall(r"\w+@(\d+)", arguments)]
        if call == "get_xdg_surface":
            surface_of_xdg_surface[objects[0]] = objects[1]
        elif call == "get_toplevel":
            window = TopLevel()
            made.append(window)
            by_toplevel[objects[0]] = window
            by_surface[surface_of_xdg_surface[(client, number)]] = window
        elif interface == "xdg_toplevel" and call == "set_title":
            by_toplevel[(client, number)].title = arguments.strip('"')
        elif interface == "xdg_toplevel" and call == "set_app_id":
            by_toplevel[(client, number)].app_id = arguments.strip('"')
        elif call == "attach" and objects and (client, number) in by_surface:
            by_surface[(client, number)].drawn = True
        elif interface == "xdg_toplevel" and call == "destroy":
            window = by_toplevel.pop((client, number))
            by_surface = {key: value for key, value in by_surface.items() if value is not window}
    return made


def start_weston(session):
    log = os.path.join(session.runtime_dir, "weston.log")
    weston = subprocess.Popen(
        ["weston", "--backend=headless-backend.so", "--width=1024", "--height=768",
         "--socket=" + SOCKET, "--idle-time=0", "--log=" + log, "--logger-scopes=log,proto"],
        env=session.env, stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
    wait_until("weston's socket", lambda: weston.poll() is None and os.path.exists(
        os.path.join(session.runtime_dir, SOCKET)), 20)
    return weston, log


def run(session, arguments):
    app_id = os.path.basename(arguments.desktop_file)[:-len(".desktop")]
    session.start_cutter("--com", "auto", "--fault", "silent")
    session.env.pop("DISPLAY", None)
    session.env["WAYLAND_DISPLAY"] = SOCKET
    weston, weston_log = start_weston(session)
    try:
        with open(session.log_path, "wb") as log:
            session.app = subprocess.Popen(
                [os.path.join(session.build_dir, "tessaro"), "-platform", "wayland"],
                stdout=subprocess.DEVNULL, stderr=log, env=session.env)
        reader = Reader()
        main_window = wait_until("the main window", lambda: next(
            (w for w in reader.windows() if w.getRoleName() == "frame"), None), 20)
        reader.press(main_window, "push button", "Scaling")
        dialog = wait_until("the test size dialog", lambda: next(
            (w for w in reader.windows() if reader.find(w, "text", "Test size X")), None), 15)
        reader.press(dialog, "push button", "Cancel")
        wait_until("the dialog to close", lambda: len(reader.windows()) == 1, 15)
        reader.press(main_window, "push button", "Poll Size")
        box = wait_until("the box", lambda: next(
            (w for w in reader.windows() if w.name == "QUIX"), None), 15)
        check(reader.find(box, "label", "Device not found"),
              "the box reads %r" % reader.contents(box))
        reader.press(box, "push button", "OK")
        wait_until("the box to close", lambda: len(reader.windows()) == 1, 15)
        reader.press(main_window, "push button", "Exit")
        code = wait_until("tessaro to end", lambda: session.app.poll() is not None and [
            session.app.returncode], 15)[0]
        check(code == 0, "tessaro ended with %d" % code)
    finally:
        end_process(weston)
    windows = [(w.title, w.app_id, w.drawn) for w in top_levels(read_text(weston_log))]
    print("weston's top-level windows (title, app id, drawn): %r" % windows)
    check(windows == [("Tessaro", app_id, True), ("Tessaro", app_id, True),
                      ("QUIX", app_id, True)],
          "want the main window, the dialog and the box, each drawn with app id %s" % app_id)


if __name__ == "__main__":
    if shutil.which("weston") is None:
        print("weston is not installed: skipped")
        sys.exit(SKIP_RETURN_CODE)
    enter_dbus_session()
    parser = argparse.ArgumentParser()
    parser.add_argument("--desktop-file", required=True)
    sys.exit(main(run, parser, x_server=False))
