#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Link faults on the real tessaro beside tessaro-vcutter, driven by the keyboard.

Usage: faults_e2e.py --link com|usb --fault NAME --build-dir DIR [--box-size-tool TOOL]
                     [--layout-tool TOOL]

Faults where the real terminal layer matters: hangup (the line drops in the middle of a
settings reply while Loop Detect holds the port), removed (the cutter and its device link
vanish while the port is open), late (a size reply that comes after tessaro gave up waits
in the line across the close; Loop Detect must not take it for its own); the keyboard:
keys-close-together (Alt+P and Alt+L 80 ms apart: each reply decoded as what it is);
noise (stray bytes after every settings reply while Loop Detect holds the port); and for
the scale written into flash: late-reply (a reply that comes after its query was given
up stays in the device; the wizard and the About dialog that follow get their own
replies), drop-byte (one byte lost from the first scale reading: nothing is written),
ignore-write (the cutter keeps its flash: no "Save Complete !!"), save-during-loop-detect
(Loop Detect started between the test cut and the measurement: the scale is read,
written and read back between its settings replies, "Save Complete !!", and Loop Detect
goes on). Silence, garbage, replies in pieces and replies without their carriage return
are the in-process LinkFault cases on both links: the line adds nothing to them.

For each: tessaro keeps running and answers the keyboard, the port ends closed (no
descriptor left on the cutter's device), the log and the boxes say what the poll cycle
says, tessaro uses next to no CPU in the second after a hang-up, and the next exchange,
with a sound cutter, decodes exactly its own reply. Runs itself on an Xvfb of its own;
exit code 77 (a skip) without it.
"""

import argparse
import os
import re
import sys
import time

# The source tree stays clean: no byte-code caches beside the scripts.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

from scale_oracle import new_scale  # noqa: E402
from tessaro_session import (appears_in_order, check, main, visible_windows,  # noqa: E402
                             wait_until, xdotool)

SIZE_REPLY = "接收:0,0,24000,50000"
SETTINGS_REPLY = "接收:0,30,80,250,5,1,0,2"
RECEIVED = "接收:"
NOT_OPENED = "Port has not been opened!"
DEVICE_NOT_FOUND = "Device not found"
USB_CABLE_PLUGGED = "When USB cable plug-in, com port not working."
# A thread that retried a dead line without pausing would use most of the second.
CPU_ALLOWED_IN_A_SECOND = 0.25
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


SAVE_COMPLETE = "Save Complete !!"
QUERY_WAITS = "Waiting for the cutter's answer to the previous query before sending the next one"
# The wizard's dialogs by their client sizes.
SCALE_FORM, SCALE_FORM2, MODIFY_FORM2 = "360x276", "360x211", "378x211"
SAVE_DATA_FORM, PASSWORD_FORM = "221x134", "189x106"


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def descriptors_on(pid, device):
    found = []
    fd_dir = "/proc/%d/fd" % pid
    for fd in os.listdir(fd_dir):
        try:
            if os.readlink(os.path.join(fd_dir, fd)).startswith(device):
                found.append(fd)
        except OSError:
            pass
    return found


class FaultRun:
    def __init__(self, session, link):
        self.s = session
        self.link = link
        # The COM port the first cutter chooses; every later one takes the same number.
        self.port = "auto" if link == "com" else "USB0"
        self.close_line = None
        self.device = None

    # --- The cutter ---

    def start_cutter(self, *faults, options=()):
        number = "auto" if self.port == "auto" else self.port[3:]
        options = ["--%s" % self.link, number] + list(options)
        for fault in faults:
            options += ["--fault", fault]
        cutter = self.s.start_cutter(*options)
        self.port = cutter.com or cutter.usb
        # The serial close logs the port; on the USB link it finds no serial port open.
        self.close_line = "Close %s OK" % self.port if self.link == "com" else NOT_OPENED
        self.device = os.path.realpath(os.path.join(self.s.device_map, self.port))

    def stop_cutter(self):
        self.s.cutter.stop()

    def restart_cutter(self):
        self.stop_cutter()
        self.start_cutter()

    # --- Tessaro ---

    def start(self, *faults, options=()):
        self.start_cutter(*faults, options=options)
        self.s.start_tessaro()
        if self.link == "usb":
            self.s.choose_last_port()
            self.s.wait_for_log("the USB entry chosen", lambda log: "USB0 Check OK" in log)

    def mark(self):
        return len(self.s.log())

    def since(self, mark):
        return self.s.log()[mark:]

    def expect_port_closed(self):
        pid = self.s.app.pid
        check(self.s.app.poll() is None, "tessaro ended")
        left = descriptors_on(pid, self.device)
        check(not left, "tessaro still holds %s on descriptors %r" % (self.device, left))

    def expect_no_spin(self, what):
        pid = self.s.app.pid
        before = cpu_seconds(pid)
        time.sleep(1.0)
        used = cpu_seconds(pid) - before
        print("     tessaro used %.2f s of CPU in the second after %s" % (used, what))
        check(used < CPU_ALLOWED_IN_A_SECOND, "tessaro used %.2f s of CPU in the second after %s"
              % (used, what))

    def expect_silence_box(self):
        box = self.s.box(timeout=15)
        if self.s.box_size_tool:
            text = self.s.box_text(box, [DEVICE_NOT_FOUND, USB_CABLE_PLUGGED])
            check(text == DEVICE_NOT_FOUND, "the silence box shows %r" % text)
        self.s.close_box(box)

    def expect_monitor_stopped_by_silence(self, mark):
        self.expect_silence_box()
        ending = self.since(mark)
        check(appears_in_order(ending, [self.close_line, NOT_OPENED]),
              "the monitor did not stop as DisDetect does: %r" % ending[-8:])

    def expect_next_poll_size_decodes_its_own_reply(self):
        """Alt+P on a new, sound cutter: exactly the size reply decoded, and the port
        closed."""
        self.restart_cutter()
        mark = self.mark()
        self.s.press("alt+p")
        self.s.wait_for_log("the size reply and the close",
                            lambda log: appears_in_order(log[mark:], [SIZE_REPLY,
                                                                      self.close_line]))
        received = [line for line in self.since(mark) if line.startswith(RECEIVED)]
        check(received == [SIZE_REPLY], "the next exchange decoded %r" % received)
        self.expect_port_closed()

    def cut_test(self):
        """Scaling, and Ok on the first dialog: the 50 x 50 test cut."""
        self.s.press("alt+s")
        self.s.keys_to("Tessaro", SCALE_FORM, "Return")

    def measure_and_save(self, length, width):
        """The measurement, Yes to the corrected cut, Save and the right password once a
        scale reply is in (any reply but a settings reply)."""
        self.s.keys_to("Tessaro", SCALE_FORM2, "ctrl+a")
        self.s.type_into("Tessaro", SCALE_FORM2, length)
        self.s.keys_to("Tessaro", SCALE_FORM2, "Tab", "ctrl+a")
        self.s.type_into("Tessaro", SCALE_FORM2, width)
        self.s.keys_to("Tessaro", SCALE_FORM2, "Return")
        self.s.keys_to("Tessaro", MODIFY_FORM2, "Return")
        mark = self.mark()
        self.s.keys_to("Tessaro", SAVE_DATA_FORM, "Return")
        self.s.type_into("Tessaro", PASSWORD_FORM, "047")
        self.s.wait_for_log("the scale reply",
                            lambda log: any(l.startswith(RECEIVED) and l != SETTINGS_REPLY
                                            for l in log[mark:]))
        self.s.keys_to("Tessaro", PASSWORD_FORM, "Return")

    def test_cut_measured(self):
        """What a ruler gives for the test cut: the size the cutter reports for it."""
        cuts = wait_until("the test cut", lambda: re.findall(
            r"cut closed shape ([0-9.]+) x ([0-9.]+) mm", self.s.cutter_transcript()), 10)
        return cuts[0]

    def run_wizard(self):
        """Scaling with the 50 x 50 test cut measured 50.5 x 49.8, through to the password."""
        self.cut_test()
        self.measure_and_save("50.5", "49.8")

    def expect_outcome(self, expected, mark):
        """The password step's outcome: its box, and the same text in the log."""
        self.s.close_box(self.s.box(timeout=15))
        check(expected in self.since(mark), "the log does not say %r: %r"
              % (expected, self.since(mark)[-6:]))

    def flash_writes(self):
        return [l for l in self.s.cutter_transcript().splitlines() if "flash " in l]

    def give_up_while_the_cutter_sleeps(self, keys):
        """`keys` send a query while the cutter is stopped; the query is given up, and the
        cutter then answers it into the device nobody reads."""
        self.s.pause_cutter()
        self.s.press(keys)
        self.expect_silence_box()
        self.s.resume_cutter()
        time.sleep(0.5)

    # --- The faults ---

    def late_reply(self):
        self.start()
        self.give_up_while_the_cutter_sleeps("alt+l")
        mark = self.mark()
        self.run_wizard()
        self.expect_outcome(SAVE_COMPLETE, mark)
        writes = self.flash_writes()
        check(len(writes) == 2 and "1012 -> 1022" in writes[0] and "996 -> 992" in writes[1],
              "the flash got %r" % writes)
        self.give_up_while_the_cutter_sleeps("alt+p")
        mark = self.mark()
        self.s.press("alt+a")
        self.s.wait_for_log("the firmware reply",
                            lambda log: any(l.startswith(RECEIVED) for l in log[mark:]))
        self.s.keys_to("About", "289x223", "Return")
        received = [l for l in self.since(mark) if l.startswith(RECEIVED)]
        check(received == ["接收:0,0,TC-60,2.10 0305"], "About decoded %r" % received)

    def keys_close_together(self):
        """Alt+P and Alt+L 80 ms apart on a sound cutter: the settings query waits for the
        size reply, and each reply is decoded by its own decoder."""
        self.start()
        mark = self.mark()
        self.s.press("alt+p")
        time.sleep(0.08)
        xdotool("key", "--clearmodifiers", "alt+l")
        self.s.wait_for_log("the size reply, then the settings reply",
                            lambda log: appears_in_order(log[mark:], [SIZE_REPLY, SETTINGS_REPLY]))
        self.s.press("alt+d")
        received = [l for l in self.since(mark) if l.startswith(RECEIVED)]
        check(received[:2] == [SIZE_REPLY, SETTINGS_REPLY], "decoded %r" % received)
        check(QUERY_WAITS in self.since(mark), "Alt+L came after the size reply was decoded")
        check(not visible_windows("QUIX"), "a box is shown")

    def noise(self):
        """Noise after every settings reply, while Loop Detect keeps the port open: only the
        replies are decoded, the noise between them is dropped."""
        self.start("noise:300")
        mark = self.mark()
        self.s.press("alt+l")
        self.s.wait_for_log("two settings replies and the noise after them",
                            lambda log: sum(l == SETTINGS_REPLY for l in log[mark:]) >= 2 and
                            sum(l.endswith("no answer was awaited") for l in log[mark:]) >= 2,
                            timeout=15)
        self.s.press("alt+d")
        received = [l for l in self.since(mark) if l.startswith(RECEIVED)]
        check(all(l == SETTINGS_REPLY for l in received), "decoded %r" % received)
        check(not visible_windows("QUIX"), "a box is shown")

    def drop_byte(self):
        self.start("drop-byte:1")
        self.run_wizard()
        self.expect_outcome("The cutter's scale values read twice differ ('0,112,996' then "
                            "'0,1012,996'), so nothing was written. Please check the cable "
                            "and run Scaling again.", 0)
        check(not self.flash_writes(), "the flash got %r" % self.flash_writes())

    def ignore_write(self):
        self.start("ignore-write")
        self.run_wizard()
        self.expect_outcome("The new scale 1022, 992 was sent, but the cutter now reports "
                            "1012, 996: the write may not have taken. Please check the cutter "
                            "and run Scaling again.", 0)
        check(SAVE_COMPLETE not in self.s.log(), "the log says %r" % SAVE_COMPLETE)
        check("ignored" in self.s.cutter_transcript(), "the cutter did not get the write")

    def save_during_loop_detect(self):
        """Loop Detect started from the main window between the test cut and the
        measurement: the scale query waits its turn between settings queries, the port
        stays open, the flash gets what the calibration rules give, and Loop Detect goes on
        until DisDetect."""
        self.start(options=["--error", "1.01,1"])
        self.cut_test()
        self.s.wait_for_window("Tessaro", SCALE_FORM2)
        mark = self.mark()
        self.s.press("alt+l")
        self.s.wait_for_log("a settings reply", lambda log: SETTINGS_REPLY in log[mark:])
        length, width = self.test_cut_measured()
        self.measure_and_save(length, width)
        box = self.s.box(timeout=15)
        # The outcome's box has no icon, the silence box a warning's: only the latter can
        # be told by its size, and it must not be this one.
        if self.s.box_size_tool:
            text = self.s.box_text(box, [DEVICE_NOT_FOUND, USB_CABLE_PLUGGED])
            check(text is None, "the password step ends in the silence box %r" % text)
        self.s.close_box(box)
        saved = self.mark()
        check(SAVE_COMPLETE in self.s.log()[mark:], "the log does not say %r: %r"
              % (SAVE_COMPLETE, self.s.log()[-8:]))
        held = (1012, 996)
        expected = [new_scale(held[0], "50", length), new_scale(held[1], "50", width)]
        writes = self.flash_writes()
        check(len(writes) == 2 and all(w.endswith("%d -> %d" % (was, v))
                                       for w, was, v in zip(writes, held, expected)),
              "the flash got %r, not X, Y %r -> %r" % (writes, held, expected))
        self.s.wait_for_log("two settings replies after the save",
                            lambda log: log[saved:].count(SETTINGS_REPLY) >= 2, timeout=15)
        check(not visible_windows("QUIX"), "a box is shown")
        check(self.close_line not in self.since(mark), "the port was closed during Loop Detect")
        mark = self.mark()
        self.s.press("alt+d")
        self.s.wait_for_log("DisDetect's close", lambda log: self.close_line in log[mark:])
        self.expect_port_closed()

    def hangup(self):
        self.start("hangup:7")
        mark = self.mark()
        self.s.press("alt+l")
        self.s.wait_for_log("the partial settings reply",
                            lambda log: "接收:0,30,80" in log[mark:])
        wait_until("the cutter to hang up", lambda: self.s.cutter.process.poll() is not None, 10)
        self.expect_no_spin("the hang-up")
        self.expect_monitor_stopped_by_silence(mark)
        self.expect_port_closed()
        self.expect_next_poll_size_decodes_its_own_reply()

    def removed(self):
        self.start()
        mark = self.mark()
        self.s.press("alt+l")
        self.s.wait_for_log("a settings reply", lambda log: SETTINGS_REPLY in log[mark:])
        self.stop_cutter()
        check(not os.path.lexists(os.path.join(self.s.device_map, self.port)),
              "the device link is still there")
        self.expect_no_spin("the device went away")
        self.expect_monitor_stopped_by_silence(mark)
        self.expect_port_closed()
        self.expect_next_poll_size_decodes_its_own_reply()

    def late(self):
        """A cutter that answers after tessaro gave up: its size reply waits in the line
        while the port is closed, and the next exchange must not take it for its own."""
        self.start("late:400")
        mark = self.mark()
        self.s.press("alt+p")
        self.expect_silence_box()
        time.sleep(0.8)  # the reply, 400 ms after the command, is in the line by now
        check(not any(line.startswith(RECEIVED) for line in self.since(mark)),
              "Poll Size received something after all")
        mark = self.mark()
        self.s.press("alt+l")
        self.s.wait_for_log("Loop Detect's end",
                            lambda log: SETTINGS_REPLY in log[mark:]
                            or appears_in_order(log[mark:], [self.close_line, NOT_OPENED]), 15)
        received = [line for line in self.since(mark) if line.startswith(RECEIVED)]
        check(set(received) <= {SETTINGS_REPLY},
              "Loop Detect decoded a reply that was not its own: %r" % received)
        if SETTINGS_REPLY in received:
            self.s.press("alt+d")
        else:
            self.expect_silence_box()
            # Nothing decoded: the settings rows stay empty, as the size rows do.
            shown = self.s.values_shown()
            check(not any(shown), "the panel shows values no reply gave: %r" % shown)
        self.s.wait_for_log("the close", lambda log: self.close_line in log[mark:])
        self.expect_port_closed()


FAULTS = ("hangup", "removed", "late", "keys-close-together", "noise", "late-reply",
          "drop-byte", "ignore-write", "save-during-loop-detect")


def run(session, arguments):
    fault_run = FaultRun(session, arguments.link)
    started = time.monotonic()
    getattr(fault_run, arguments.fault.replace("-", "_"))()
    code = session.exit_tessaro()
    check(code == 0, "tessaro exited with %d" % code)
    print("ok   %s on %s (%.1f s)" % (arguments.fault, fault_run.port,
                                      time.monotonic() - started))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--link", choices=["com", "usb"], required=True)
    parser.add_argument("--fault", choices=FAULTS, required=True)
    sys.exit(main(run, parser))
