#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A randomized operator in a hurry beside a faulty cutter; every flash write is checked.

The real tessaro runs under Xvfb beside tessaro-vcutter (COM200, USB0 or both, on pseudo-
terminals). A seeded random generator presses keys and clicks: Poll Size, Loop Detect,
DisDetect, About (Alt+letters and clicks), ports chosen from the list or typed, and the
whole scaling wizard with test sizes and measurements typed with 0 to 2 decimals (some of
them refused), Save, right and wrong passwords, and the boxes' Return. Each episode
restarts the cutter with a random scale, random error factors and a random set of the
faults its --help lists; tessaro lives on from episode to episode, restarted only if it
died.

The oracle: every flash write in the cutter's transcript must be the value the keys asked
for, trunc(held x ((measured x 100 / test) x 0.01)) in x87 extended precision
(tests/e2e/scale_oracle.py), with `held` the scale the cutter held, `test` the test size
typed for the last test cut the cutter received and `measured` the measurement typed for
the last corrected cut it received, and it must follow a right password in the password
dialog. At the end of each episode tessaro must be alive and open its About dialog.

usage: bench/random_operator.py [--build DIR] [--seeds 1,2,3] [--minutes M]
                                [--episode-seconds S] [--only-episode N]
Exits 1 on any wrong write, crash or hang. Each wrong write is printed with the seed,
episode and step that replay it (--seeds SEED --only-episode N).
"""

import argparse
import os
import random
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

import scale_oracle  # noqa: E402
import tessaro_session as ts  # noqa: E402

MAIN = (368, 288)
SCALE_FORM = (360, 276)
SCALE_FORM2 = (360, 211)
MODIFY_FORM = (174, 116)
MODIFY_FORM2 = (378, 211)
SAVE_FORM = (221, 134)
PASSWORD_FORM = (189, 106)
ABOUT_FORM = (289, 223)
DIALOG_NAMES = {SCALE_FORM: "ScaleForm", SCALE_FORM2: "ScaleForm2", MODIFY_FORM: "ModifyForm",
                MODIFY_FORM2: "ModifyForm2", SAVE_FORM: "SaveDataForm",
                PASSWORD_FORM: "PasswordForm"}

MAIN_KEYS = {"Poll Size": "alt+p", "Loop Detect": "alt+l", "DisDetect": "alt+d",
             "Scaling": "alt+s", "About": "alt+a"}
# Controls by the names the layout tool gives them.
TEST_FIELDS = ("EdTestDraw_X", "EdTestDraw_Y")
MEASURE_FIELDS = ("Edit1", "Edit2")

PASSWORD = "047"
# Mostly the cutter's own ports, sometimes a slip.
PORTS_TYPED = ["COM200"] * 4 + ["USB0"] * 3 + ["COM1", "USB3", "com200", "COM2OO", "xyz", ""]
FLASH = re.compile(r"\* flash ([XY]) scale (-?\d+) -> (-?\d+)")
SCALE_WRITE = re.compile(r" < <ESC>\.C6;([01]);([^:]*):")
SCALE_AT_START = re.compile(r" cutter - .* scale (\d+)/(\d+);")
# How long after a right password the program may still write (it reads the scale twice
# first, through whatever delays the cutter's faults add).
AUTHORIZATION_SECONDS = 15
TEST_CUT = re.compile(r" < VS30;")
QUERY = re.compile(r"^\[\s*[0-9.]+\] \S+ < (OH;|<ESC>\.R)")
REPLY = re.compile(r"^\[\s*[0-9.]+\] \S+ > ")


def available_faults(vcutter):
    """The faults `tessaro-vcutter --help` lists, as (name, argument kind or None)."""
    text = subprocess.run([vcutter, "--help"], capture_output=True, text=True).stdout
    listing = text.split("--fault", 1)[1].split("--help", 1)[0]
    return re.findall(r"^\s{3,}([a-z][a-z-]*)(?:\[:([A-Z]+)\])?\s", listing, re.M)


def fault_option(rng, name, kind):
    if kind == "MS":
        return "%s:%d" % (name, rng.choice([5, 20, 60, 120, 250, 600]))
    if kind == "SEED":
        return "%s:%d" % (name, rng.randrange(1, 10000))
    if kind == "N":
        return "%s:%d" % (name, rng.choice([1, 2, 3, 5, 40, 300, 2000]))
    return name


def size_text(rng, millimetres):
    decimals = rng.choice([0, 1, 2])
    return ("%%.%df" % decimals) % millimetres


def refused_size_text(rng):
    return rng.choice(["0", "-5", "abc", "", "5,5", "0.00", "1e12", " ", "50mm"])


class Tally:
    def __init__(self):
        self.episodes = self.steps = self.requests = self.replies = self.faulty_replies = 0
        self.scale_writes = self.flash_writes = self.boxes = self.crashes = self.hangs = 0
        self.saves = self.right_passwords = self.test_cuts = self.corrected_cuts = 0
        self.wrong = []
        self.notes = []

    def add(self, other):
        for name, value in vars(other).items():
            setattr(self, name, getattr(self, name) + value)


class Operator:
    """One seed's run: the session, the operator's model of what the keys asked for."""

    def __init__(self, build_dir, seed, tally, transcripts):
        self.build_dir = build_dir
        self.transcripts = transcripts
        self.seed = seed
        self.tally = tally
        self.session = None
        self.faults = available_faults(os.path.join(build_dir, "tessaro-vcutter"))

    # --- tessaro and the cutter ---

    def start_tessaro(self):
        self.session.start_tessaro()
        self.test_texts = ["50", "50"]
        self.measure_texts = ["50", "50"]
        self.password_text = ""
        self.test_cut = None
        self.measurement = None
        self.known_boxes = set()
        self.measure_modal = False

    def start_episode(self, rng, episode):
        if self.session is None:
            self.session = ts.Session(self.build_dir)
            self.start_cutter(rng)
            self.start_tessaro()
        else:
            self.stop_cutter()
            self.start_cutter(rng)
            if self.session.app.poll() is not None:
                self.start_tessaro()
        self.episode = episode
        self.held = {"X": 0, "Y": 0}
        self.authorization = None
        self.transcript_seen = 0

    def start_cutter(self, rng):
        scale = (rng.choice([1000, 1000, 10000, rng.randrange(500, 20000)]),
                 rng.choice([1000, 10000, rng.randrange(500, 20000)]))
        error = ("%.3f" % rng.uniform(0.95, 1.05), "%.3f" % rng.uniform(0.95, 1.05))
        # A USB cutter attached keeps the wizard and About off the COM port, so some
        # episodes offer one link only.
        links = rng.choice([["--com", "200"], ["--usb", "0"], ["--com", "200", "--usb", "0"]])
        options = links + ["--scale", "%d,%d" % scale,
                   "--error", ",".join(error), "--delay", str(rng.choice([0, 10, 30]))]
        chosen = []
        if rng.random() < 0.6:
            # "silent" alone makes an episode of time-outs: rare.
            pool = [f for f in self.faults if f[0] != "silent" or rng.random() < 0.1]
            chosen = rng.sample(pool, rng.randint(1, min(2, len(pool))))
        for name, kind in chosen:
            options += ["--fault", fault_option(rng, name, kind)]
        self.cutter_options = options
        self.faulty = bool(chosen)
        self.session.start_cutter(*options)

    def stop_cutter(self):
        self.session.cutter.stop()

    def at(self, size, name):
        """The middle of a control of the window of client size `size`."""
        return self.session.layout().centre("%dx%d" % size, name)

    # --- What is shown ---

    def dialogs(self):
        return {size: window for window, size in ts.visible_windows("Tessaro")}

    def boxes(self):
        shown = [window for window, _ in ts.visible_windows("QUIX")]
        for window in shown:
            if window not in self.known_boxes:
                self.known_boxes.add(window)
                self.tally.boxes += 1
        return shown

    def transcript_lines(self):
        return self.session.cutter_transcript().splitlines()

    def test_cuts_received(self):
        return sum(1 for line in self.transcript_lines() if TEST_CUT.search(line))

    # --- Actions ---

    def step(self, rng):
        """Picks one action among those the windows on the screen allow, and does it."""
        # A modal window takes every key and click: the boxes, About, then the modal
        # dialogs. Acting on a window beneath would do nothing, and the model of what the
        # fields hold would go wrong.
        boxes = self.boxes()
        if boxes:
            return self.answer_box(boxes[-1])
        dialogs = self.dialogs()
        about = ts.visible_windows("About")
        if about:
            ts.xdotool("windowfocus", "--sync", about[0][0])
            ts.xdotool("key", "Return")
            return "About: Return"
        modal = [size for size in (SAVE_FORM, SCALE_FORM) if size in dialogs]
        self.measure_modal = self.measure_modal and SCALE_FORM2 in dialogs
        if self.measure_modal and SCALE_FORM2 in dialogs:
            modal.append(SCALE_FORM2)
        if modal:
            dialogs = {modal[0]: dialogs[modal[0]]}
        # A wizard dialog on the screen draws the operator's attention.
        choices = [] if modal else [(1 if set(dialogs) - {MAIN} else 3, self.main_action)]
        for size, action in ((SCALE_FORM, self.scale_form_action),
                             (SCALE_FORM2, self.scale_form2_action),
                             (MODIFY_FORM, self.modify_form_action),
                             (MODIFY_FORM2, self.modify_form2_action),
                             (SAVE_FORM, self.save_form_action),
                             (PASSWORD_FORM, self.password_form_action)):
            if size in dialogs:
                choices.append((8, lambda r, a=action, w=dialogs[size]: a(r, w)))
        action = rng.choices([c[1] for c in choices], weights=[c[0] for c in choices])[0]
        return action(rng)

    def answer_box(self, box):
        ts.xdotool("windowfocus", "--sync", box)
        ts.xdotool("key", "Return")
        return "box: Return"

    def press(self, window, keys):
        ts.xdotool("windowfocus", "--sync", window)
        ts.xdotool("key", "--clearmodifiers", keys)

    def main_action(self, rng):
        window = self.session.window
        roll = rng.random()
        if roll < 0.1:
            self.session.choose_last_port()
            return "main: last port from the list"
        if roll < 0.2:
            text = rng.choice(PORTS_TYPED)
            ts.click_in(window, *self.session.port_list_text())
            self.press(window, "ctrl+a")
            if text:
                ts.type_into(window, text)
            else:
                self.press(window, "BackSpace")
            return "main: port typed %r" % text
        name = rng.choice(["Poll Size", "Loop Detect", "DisDetect", "About", "Scaling",
                           "Scaling"])
        if rng.random() < 0.5:
            self.press(window, MAIN_KEYS[name])
            return "main: %s (%s)" % (name, MAIN_KEYS[name])
        ts.click_in(window, *self.at(MAIN, name))
        return "main: %s (click)" % name

    def type_field(self, window, point, text):
        ts.click_in(window, *point)
        self.press(window, "ctrl+a")
        if text:
            ts.type_into(window, text)
        else:
            self.press(window, "BackSpace")

    def scale_form_action(self, rng, window):
        roll = rng.random()
        if roll < 0.45:
            axis = rng.randrange(2)
            if rng.random() < 0.15:
                text = refused_size_text(rng)
            else:
                text = size_text(rng, rng.choice([50, 50, rng.uniform(10, 400)]))
            self.type_field(window, self.at(SCALE_FORM, TEST_FIELDS[axis]), text)
            self.test_texts[axis] = text
            return "ScaleForm: %s typed %r" % ("XY"[axis], text)
        if roll < 0.9:
            return self.test_ok(rng, window)
        if rng.random() < 0.5:
            self.press(window, "Escape")
        else:
            ts.click_in(window, *self.at(SCALE_FORM, "BnCancel"))
        return "ScaleForm: Cancel"

    def test_ok(self, rng, window):
        typed = tuple(self.test_texts)
        cuts_before = self.test_cuts_received()
        if rng.random() < 0.6:
            self.press(window, "Return")
        else:
            ts.click_in(window, *self.at(SCALE_FORM, "BnOk"))
        outcome = self.wait_for_leaving(SCALE_FORM)
        # What the cutter received decides, whatever boxes came meanwhile.
        if self.test_cuts_received() > cuts_before:
            self.tally.test_cuts += 1
            if self.measurement and self.units(typed) != self.units(self.measurement[0]):
                self.measurement = None
            self.test_cut = typed
            return "ScaleForm: Ok %s x %s, cut" % typed
        return "ScaleForm: Ok %s x %s, not cut, %s" % (typed + (outcome,))

    def scale_form2_action(self, rng, window):
        roll = rng.random()
        if roll < 0.5:
            axis = rng.randrange(2)
            text = self.measurement_text(rng, axis)
            self.type_field(window, self.at(SCALE_FORM2, MEASURE_FIELDS[axis]), text)
            self.measure_texts[axis] = text
            return "ScaleForm2: %s typed %r" % ("XY"[axis], text)
        if roll < 0.93:
            return self.measure_ok(rng, window)
        self.press(window, "Escape")
        return "ScaleForm2: Escape"

    def measurement_text(self, rng, axis):
        roll = rng.random()
        if roll < 0.1:
            return refused_size_text(rng)
        base = self.test_cut[axis] if self.test_cut else self.test_texts[axis]
        try:
            test = float(base)
        except ValueError:
            test = 50.0
        if roll < 0.25:
            return base
        if roll < 0.32:
            return size_text(rng, test * rng.choice([0.85, 1.12, 1.3]))
        return size_text(rng, test * rng.uniform(0.97, 1.03))

    def measure_ok(self, rng, window):
        typed = tuple(self.measure_texts)
        cuts_before = self.test_cuts_received()
        if rng.random() < 0.6:
            self.press(window, "Return")
        else:
            ts.click_in(window, *self.at(SCALE_FORM2, "BnOk"))
        outcome = self.wait_for_leaving(SCALE_FORM2)
        shown = self.dialogs()
        if self.test_cuts_received() > cuts_before:
            self.tally.corrected_cuts += 1
            if self.test_cut is None:
                self.note("a corrected cut without a test cut")
            self.measurement = (self.test_cut, typed) if self.test_cut else None
            return "ScaleForm2: OK %s x %s, corrected cut" % typed
        if outcome != "left":
            return "ScaleForm2: OK %s x %s, %s" % (typed + (outcome,))
        if MODIFY_FORM2 in shown:
            # The program keeps no measurement whose corrected cut was not sent.
            self.measurement = None
            return "ScaleForm2: OK %s x %s, differs, not cut" % typed
        if MODIFY_FORM in shown:
            if self.test_cut and self.units(typed) != self.units(self.test_cut):
                self.note("ScaleForm2 OK %s x %s called equal to the test size %s x %s"
                          % (typed + self.test_cut))
            return "ScaleForm2: OK %s x %s, equal" % typed
        return "ScaleForm2: OK %s x %s, left to %s" % (typed + (sorted(shown),))

    def modify_form_action(self, rng, window):
        if rng.random() < 0.7:
            self.press(window, "Return")
        else:
            ts.click_in(window, *self.at(MODIFY_FORM, "BnOk"))
        return "ModifyForm: OK"

    def modify_form2_action(self, rng, window):
        if rng.random() < 0.75:
            if rng.random() < 0.5:
                self.press(window, "Return")
            else:
                ts.click_in(window, *self.at(MODIFY_FORM2, "BnYes"))
            return "ModifyForm2: Yes"
        if rng.random() < 0.5:
            self.press(window, "Escape")
        else:
            ts.click_in(window, *self.at(MODIFY_FORM2, "BnNo"))
        time.sleep(0.3)
        # No shows the measurement dialog again, modally this time.
        self.measure_modal = SCALE_FORM2 in self.dialogs()
        return "ModifyForm2: No"

    def save_form_action(self, rng, window):
        if rng.random() < 0.8:
            if rng.random() < 0.5:
                self.press(window, "Return")
            else:
                ts.click_in(window, *self.at(SAVE_FORM, "BnSave"))
            self.tally.saves += 1
            self.password_text = ""
            return "SaveDataForm: Save"
        if rng.random() < 0.5:
            self.press(window, "Escape")
        else:
            ts.click_in(window, *self.at(SAVE_FORM, "BnCancel"))
        return "SaveDataForm: Cancel"

    def password_form_action(self, rng, window):
        if rng.random() < 0.45:
            text = PASSWORD if rng.random() < 0.7 else rng.choice(["074", "47", "0470", "",
                                                                    "O47"])
            self.type_field(window, self.at(PASSWORD_FORM, "EdPassword"), text)
            self.password_text = text
            return "PasswordForm: typed %r" % text
        if rng.random() < 0.05:
            self.press(window, "Escape")
            return "PasswordForm: Escape"
        right = self.password_text == PASSWORD
        if right:
            self.tally.right_passwords += 1
            self.authorization = {"measurement": self.measurement,
                                  "until": time.monotonic() + AUTHORIZATION_SECONDS}
        if rng.random() < 0.6:
            self.press(window, "Return")
        else:
            ts.click_in(window, *self.at(PASSWORD_FORM, "BnOk"))
        time.sleep(1.0)
        return "PasswordForm: OK with %s password" % ("the right" if right else "a wrong")

    def wait_for_leaving(self, size):
        """'left' once the dialog of this size is gone (and what it sent has had time to
        reach the cutter), 'box' if it stays behind a new box, else 'stayed'."""
        boxes_before = set(self.boxes())
        deadline = time.monotonic() + 3
        while time.monotonic() < deadline:
            if size not in self.dialogs():
                time.sleep(0.4)
                return "left"
            if set(self.boxes()) - boxes_before and time.monotonic() > deadline - 2.3:
                return "box"
            time.sleep(0.1)
        return "stayed"

    @staticmethod
    def units(texts):
        try:
            return tuple(scale_oracle.units(t) for t in texts)
        except (ValueError, ZeroDivisionError):
            return None

    def note(self, text):
        self.tally.notes.append("seed %d episode %d step %d: %s"
                                % (self.seed, self.episode, self.step_number, text))

    # --- The oracle ---

    def check_flash_writes(self):
        lines = self.transcript_lines()
        fresh = lines[self.transcript_seen:]
        self.transcript_seen = len(lines)
        for line in fresh:
            start = SCALE_AT_START.search(line)
            write = SCALE_WRITE.search(line)
            flash = FLASH.search(line)
            if start:
                self.held = {"X": int(start.group(1)), "Y": int(start.group(2))}
            elif write:
                # Judged as sent, also when the cutter's flash does not take it.
                axis = "X" if write.group(1) == "1" else "Y"
                self.judge_write(axis, self.held[axis], write.group(2), line)
            elif flash:
                self.tally.flash_writes += 1
                self.held[flash.group(1)] = int(flash.group(3))

    def judge_write(self, axis, held, written, line):
        self.tally.scale_writes += 1
        where = "seed %d episode %d step %d" % (self.seed, self.episode, self.step_number)
        if self.authorization is None:
            self.tally.wrong.append("%s: %s: no right password after a Save" % (where, line))
            return
        measurement = self.authorization["measurement"]
        if measurement is None:
            self.tally.wrong.append("%s: %s: no corrected cut of a typed measurement" %
                                    (where, line))
            return
        index = "XY".index(axis)
        test, measured = measurement[0][index], measurement[1][index]
        expected = scale_oracle.new_scale(held, test, measured)
        if written != str(expected):
            self.tally.wrong.append("%s: %s: expected %d (held %d, test %s mm, measured %s mm)"
                                    % (where, line, expected, held, test, measured))

    def age_authorization(self):
        if self.authorization and time.monotonic() > self.authorization["until"]:
            self.authorization = None

    # --- The episode ---

    def run_episode(self, episode, seconds, log):
        rng = random.Random("%d:%d" % (self.seed, episode))
        self.start_episode(rng, episode)
        log("seed %d episode %d: cutter %s" % (self.seed, episode, " ".join(self.cutter_options)))
        end = time.monotonic() + seconds
        self.step_number = 0
        while time.monotonic() < end and self.session.app.poll() is None:
            self.step_number += 1
            what = self.step(rng)
            time.sleep(rng.choice([0.05, 0.15, 0.3, 0.6]))
            self.check_flash_writes()
            self.age_authorization()
            log("  %d %s" % (self.step_number, what))
        self.tally.steps += self.step_number
        self.end_episode(log)

    def end_episode(self, log):
        time.sleep(1.0)
        self.check_flash_writes()
        lines = self.transcript_lines()
        if self.transcripts:
            name = "seed%d-episode%d.txt" % (self.seed, self.episode)
            with open(os.path.join(self.transcripts, name), "w") as out:
                out.write("\n".join(lines + ["--- tessaro log"] + self.session.log()) + "\n")
        requests = sum(1 for line in lines if QUERY.match(line))
        replies = sum(1 for line in lines if REPLY.match(line))
        self.tally.episodes += 1
        self.tally.requests += requests
        self.tally.replies += replies
        if self.faulty:
            self.tally.faulty_replies += replies
        if self.session.app.poll() is not None:
            self.tally.crashes += 1
            self.note("tessaro ended with %s" % self.session.app.returncode)
            return
        if not self.responsive():
            self.tally.hangs += 1
            if self.transcripts:
                shot = os.path.join(self.transcripts, "seed%d-episode%d-hang.png"
                                    % (self.seed, self.episode))
                subprocess.run(["import", "-window", "root", shot], capture_output=True)
            self.note("tessaro answered About neither with its dialog nor with a box; "
                      "windows shown: %s" % (ts.visible_windows("Tessaro") +
                                             ts.visible_windows("QUIX")))
        for line in self.session.log():
            if "Sanitizer" in line or "runtime error:" in line:
                self.tally.crashes += 1
                self.note("sanitizer: " + line)
                break

    def dismiss(self, size, window):
        """Closes a dialog the way its buttons allow (Esc closes only some of them)."""
        if size == SCALE_FORM:
            ts.click_in(window, *self.at(SCALE_FORM, "BnCancel"))
        elif size == SCALE_FORM2:
            # A measurement equal to the test size ends the wizard without a cut.
            for axis in range(2):
                text = self.test_cut[axis] if self.test_cut else "50"
                self.type_field(window, self.at(SCALE_FORM2, MEASURE_FIELDS[axis]), text)
                self.measure_texts[axis] = text
            self.press(window, "Return")
        else:
            self.press(window, "Escape")

    def responsive(self):
        """Closes what is open, then About must answer: its dialog, or a box (the USB
        guard on a COM port, or the silence of the cutter)."""
        for attempt in range(30):
            boxes = self.boxes()
            about = ts.visible_windows("About")
            # Only what blocks the main window: the modeless dialogs stay as they are (a
            # Return in the password dialog would be a password confirmed).
            shown = self.dialogs()
            blocking = [SAVE_FORM, SCALE_FORM] + ([SCALE_FORM2] if self.measure_modal else [])
            dialogs = {s: shown[s] for s in blocking if s in shown}
            if not boxes and not about and not dialogs:
                break
            if boxes:
                self.answer_box(boxes[-1])
            elif about:
                self.press(about[0][0], "Return")
            else:
                # A modal dialog takes no keys meant for the one beneath: take turns.
                size, window = list(dialogs.items())[attempt % len(dialogs)]
                self.dismiss(size, window)
            time.sleep(0.3)
        # Loop Detect disables About until DisDetect.
        ts.click_in(self.session.window, *self.at(MAIN, "DisDetect"))
        time.sleep(0.3)
        ts.click_in(self.session.window, *self.at(MAIN, "About"))
        try:
            ts.wait_until("the About dialog or a box",
                          lambda: ts.visible_windows("About") or self.boxes(), 15)
        except ts.Failure:
            return False
        return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    parser.add_argument("--seeds", default="1,2,3")
    parser.add_argument("--minutes", type=float, default=3.0, help="per seed")
    parser.add_argument("--episode-seconds", type=float, default=40.0)
    parser.add_argument("--only-episode", type=int,
                        help="replay one episode of the seed, the fields starting at 50")
    parser.add_argument("--transcripts", help="keep each episode's transcript and log here")
    parser.add_argument("--verbose", action="store_true", help="print every step")
    arguments = parser.parse_args()
    ts.run_under_xvfb()
    build_dir = os.path.abspath(arguments.build)

    def log(text):
        if arguments.verbose or not text.startswith("  "):
            print(text, flush=True)

    total = Tally()
    for seed in [int(s) for s in arguments.seeds.split(",")]:
        tally = Tally()
        operator = Operator(build_dir, seed, tally, arguments.transcripts)
        started = time.monotonic()
        try:
            if arguments.only_episode is not None:
                operator.run_episode(arguments.only_episode, arguments.episode_seconds, log)
            else:
                episode = 0
                while time.monotonic() - started < arguments.minutes * 60:
                    operator.run_episode(episode, arguments.episode_seconds, log)
                    episode += 1
        finally:
            if operator.session is not None:
                operator.session.close()
        print_tally("seed %d (%.1f min)" % (seed, (time.monotonic() - started) / 60), tally)
        total.add(tally)
    print_tally("all seeds", total)
    return 1 if total.wrong or total.crashes or total.hangs else 0


def print_tally(title, tally):
    print("== %s: %d episodes, %d steps, %d requests, %d replies (%d from a faulty cutter), "
          "%d test cuts, %d corrected cuts, %d saves, %d right passwords, %d scale writes sent "
          "(%d taken into flash), "
          "%d wrong writes, %d boxes, %d crashes, %d hangs"
          % (title, tally.episodes, tally.steps, tally.requests, tally.replies,
             tally.faulty_replies, tally.test_cuts, tally.corrected_cuts, tally.saves,
             tally.right_passwords, tally.scale_writes, tally.flash_writes, len(tally.wrong), tally.boxes,
             tally.crashes, tally.hangs), flush=True)
    for wrong in tally.wrong:
        print("   WRONG " + wrong, flush=True)
    for note in tally.notes:
        print("   note " + note, flush=True)


if __name__ == "__main__":
    sys.exit(main())
