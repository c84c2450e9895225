#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Poll Size, Loop Detect and DisDetect on the real tessaro against tessaro-vcutter.

Usage: poll_e2e.py --link com|usb|net --build-dir DIR --box-size-tool TOOL --layout-tool TOOL

Runs itself on an Xvfb of its own (exit code 77, a skip, when that is missing), starts the
virtual cutter registered as the COM port it chooses, or as USB0, in a private device map,
starts tessaro, and drives it through the buttons' accelerators: Alt+P, Alt+L, Alt+D, Alt+E.
With net, Poll Size alone, through ser2net and a socat pseudo-terminal in the device map.
"""

import argparse
import os
import re
import sys
import time

# The source tree stays clean: no byte-code caches beside the scripts.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from tessaro_session import appears_in_order, check, lines_after, main  # noqa: E402

SIZE_REPLY = ["接收:0,0,24000,50000", "0", "0", "24000", "50000"]
SETTINGS_REPLY = "接收:0,30,80,250,5,1,0,2"
SETTINGS_QUERY = "<ESC>.R1:"
SETTINGS_QUERY_LOGGED = "發送命令:\x1b.R1:"
NOT_OPENED = "Port has not been opened!"
DEVICE_NOT_FOUND = "Device not found"
USB_CABLE_PLUGGED = "When USB cable plug-in, com port not working."
# Longer than the monitor's resend period (101 ticks of 16 ms) with room to spare.
QUIET_SPELL_SECONDS = 3.0


class PanelRun:
    def __init__(self, session, port, chosen=None):
        self.session = session
        self.port = port
        # The port tessaro chose: the cutter's own, or one that leads to it.
        chosen = chosen or port
        # The serial close logs the port; on the USB link it finds no serial port open.
        self.close_line = "Close %s OK" % chosen if chosen.startswith("COM") else NOT_OPENED

    def new_log(self, mark):
        return self.session.log()[mark:]

    def poll_size_fills_x_and_y(self):
        s = self.session
        check(s.values_shown()[:2] == [False, False], "the size rows are not empty at start")
        s.press("alt+p")
        s.wait_for_log("the size reply decoded and the link closed",
                       lambda log: appears_in_order(log, SIZE_REPLY + [self.close_line]))
        check(s.commands_received(self.port) == ["OH;"],
              "the cutter received %r, not exactly OH;" % s.commands_received(self.port))
        check(s.values_shown()[:2] == [True, True], "Poll Size X and Y show nothing")

    def loop_detect_keeps_the_panel_filled_and_resends(self):
        s = self.session
        s.press("alt+l")
        s.wait_for_log("three settings replies", lambda log: log.count(SETTINGS_REPLY) >= 3, 30)
        commands = s.commands_received(self.port)
        check(commands[0] == "OH;" and commands[1:] == [SETTINGS_QUERY] * (len(commands) - 1),
              "the cutter received %r" % commands)
        check(len(commands) - 1 >= 3, "the settings query was not resent: %r" % commands)
        check(s.log().count(SETTINGS_QUERY_LOGGED) >= 3, "the log shows no resent query")
        check(all(s.values_shown()), "a value row is empty during loop detection")

    def dis_detect_stops_it(self):
        s = self.session
        mark = len(s.log())
        s.press("alt+d")
        s.wait_for_log("DisDetect's close", lambda log: self.close_line in log[mark:])
        commands = len(s.commands_received(self.port))
        time.sleep(QUIET_SPELL_SECONDS)
        check(len(s.commands_received(self.port)) == commands, "queries went on after DisDetect")
        check(SETTINGS_REPLY not in self.new_log(mark), "a reply was decoded after DisDetect")

    def a_silent_cutter_ends_loop_detection(self):
        s = self.session
        mark = len(s.log())
        s.press("alt+l")
        s.wait_for_log("a settings reply", lambda log: SETTINGS_REPLY in log[mark:])
        s.pause_cutter()
        try:
            box = s.box(timeout=15)
            text = s.box_text(box, [DEVICE_NOT_FOUND, USB_CABLE_PLUGGED])
            check(text == DEVICE_NOT_FOUND, "the box shows %r" % text)
            ending = lines_after(s.log(), SETTINGS_REPLY)
            check(appears_in_order(ending, [self.close_line, NOT_OPENED]),
                  "no DisDetect after the silence: %r" % ending)
            s.close_box(box)
        finally:
            s.resume_cutter()


def run(session, arguments):
    if arguments.link == "usb":
        port = session.start_cutter("--usb", "0").usb
    else:
        port = session.start_cutter("--com", "auto").com
    if arguments.link == "net":
        # Through a device server, on the port numbered highest: the one chosen at start.
        device = re.search(r"registered \S+ -> (\S+)", session.cutter.transcript()).group(1)
        server = session.start_device_server(device, "COM254")
        session.start_tessaro()
        PanelRun(session, port, server.name).poll_size_fills_x_and_y()
        return
    session.start_tessaro()
    if arguments.link == "usb":
        session.choose_last_port()
        session.wait_for_log("the USB entry chosen", lambda log: "USB0 Check OK" in log)
    panel = PanelRun(session, port)
    for step in (panel.poll_size_fills_x_and_y,
                 panel.loop_detect_keeps_the_panel_filled_and_resends,
                 panel.dis_detect_stops_it,
                 panel.a_silent_cutter_ends_loop_detection):
        started = time.monotonic()
        step()
        print("ok   %s (%.1f s)" % (step.__name__, time.monotonic() - started))
    code = session.exit_tessaro()
    check(code == 0, "tessaro exited with %d" % code)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--link", choices=["com", "usb", "net"], required=True)
    sys.exit(main(run, parser))
