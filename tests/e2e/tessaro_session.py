# SPDX-License-Identifier: GPL-3.0-or-later
"""The real tessaro beside tessaro-vcutter on a virtual X server, driven by the keyboard.

Each session gets its own device map (XDG_RUNTIME_DIR is a fresh directory of mode 0700),
so the cutter it starts is the only virtual port tessaro finds. Tessaro's log comes from
its standard error, the cutter's transcript from the cutter's standard output.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP_RETURN_CODE = 77
UNDER_XVFB = "TESSARO_E2E_UNDER_XVFB"

# Where the panel's value labels are drawn, in window coordinates: the value frame
# starts at (8, 45); values stand 112 pixels into it, rows 22 pixels apart.
VALUE_COLUMN_X = 120
FIRST_VALUE_ROW_Y = 57
VALUE_ROW_PITCH = 22
VALUE_AREA = (125, 18)
# The port list's text field, in window coordinates.
PORT_LIST_TEXT = (290, 124)


class Failure(Exception):
    pass


def run_under_xvfb():
    """Runs this program again inside xvfb-run, or exits with the skip code without it."""
    if os.environ.get(UNDER_XVFB):
        return
    xvfb_run = shutil.which("xvfb-run")
    if xvfb_run is None:
        print("xvfb-run is not installed: skipped")
        sys.exit(SKIP_RETURN_CODE)
    env = dict(os.environ)
    env[UNDER_XVFB] = "1"
    command = [xvfb_run, "-a", "-s", "-screen 0 1024x768x24", sys.executable] + sys.argv
    sys.exit(subprocess.run(command, env=env).returncode)


def wait_until(what, condition, timeout):
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure("waited %.0f s for %s" % (timeout, what))
        time.sleep(0.05)


def xdotool(*arguments):
    completed = subprocess.run(["xdotool"] + [str(a) for a in arguments],
                               capture_output=True, text=True)
    return completed.stdout.split()


class Session:
    def __init__(self, build_dir, box_size_tool=None):
        self.build_dir = build_dir
        self.box_size_tool = box_size_tool
        self.runtime_dir = tempfile.mkdtemp(prefix="tessaro-e2e-")
        os.chmod(self.runtime_dir, 0o700)
        self.env = dict(os.environ)
        self.env["XDG_RUNTIME_DIR"] = self.runtime_dir
        self.env["LC_ALL"] = "C.UTF-8"
        self.env.pop("QT_QPA_PLATFORM", None)
        self.cutter = None
        self.app = None
        self.window = None

    # --- Processes ---

    def start_cutter(self, *options):
        self.cutter_out = os.path.join(self.runtime_dir, "cutter.txt")
        names = ["COM%s" % v for k, v in zip(options, options[1:]) if k == "--com"]
        names += ["USB%s" % v for k, v in zip(options, options[1:]) if k == "--usb"]
        with open(self.cutter_out, "wb") as out:
            self.cutter = subprocess.Popen(
                [os.path.join(self.build_dir, "tessaro-vcutter")] + list(options),
                stdout=out, stderr=subprocess.STDOUT, env=self.env)
        device_map = os.path.join(self.runtime_dir, "tessaro", "devices")
        wait_until("the cutter to register " + ", ".join(names),
                   lambda: all(os.path.islink(os.path.join(device_map, n)) for n in names), 10)

    def start_tessaro(self):
        self.log_path = os.path.join(self.runtime_dir, "tessaro.log")
        with open(self.log_path, "wb") as log:
            self.app = subprocess.Popen([os.path.join(self.build_dir, "tessaro")],
                                        stdout=subprocess.DEVNULL, stderr=log, env=self.env)
        found = wait_until("the main window",
                           lambda: xdotool("search", "--onlyvisible", "--name", "^Tessaro$"), 20)
        self.window = found[0]

    def pause_cutter(self):
        self.cutter.send_signal(signal.SIGSTOP)

    def resume_cutter(self):
        self.cutter.send_signal(signal.SIGCONT)

    def exit_tessaro(self):
        self.press("alt+e")
        return self.app.wait(timeout=15)

    def close(self):
        for process in (self.app, self.cutter):
            if process is not None and process.poll() is None:
                process.send_signal(signal.SIGCONT)
                process.terminate()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        shutil.rmtree(self.runtime_dir, ignore_errors=True)

    # --- The keyboard and the mouse ---

    def press(self, keys, window=None):
        xdotool("windowfocus", "--sync", window or self.window)
        xdotool("key", "--clearmodifiers", keys)

    def click(self, x, y):
        xdotool("mousemove", "--window", self.window, x, y)
        xdotool("click", "1")

    def window_of(self, title, geometry, timeout=10):
        """The visible window with this title and client size ("360x211"), once shown."""
        def find():
            for window in xdotool("search", "--onlyvisible", "--name", "^%s$" % title):
                shown = subprocess.run(["xdotool", "getwindowgeometry", window],
                                       capture_output=True, text=True).stdout
                if "Geometry: %s" % geometry in shown:
                    return window
            return None
        return wait_until("window %s %s" % (title, geometry), find, timeout)

    def keys_to(self, title, geometry, *keys):
        window = self.window_of(title, geometry)
        xdotool("windowfocus", "--sync", window)
        time.sleep(0.3)
        xdotool("key", "--clearmodifiers", "--delay", "60", *keys)

    def type_into(self, title, geometry, text):
        xdotool("windowfocus", "--sync", self.window_of(title, geometry))
        xdotool("type", "--delay", "60", text)

    def choose_last_port(self):
        """Focuses the port list, opens it and picks its last entry, as an operator would."""
        self.click(*PORT_LIST_TEXT)
        self.press("F4")
        time.sleep(0.5)
        xdotool("key", "End")
        xdotool("key", "Return")

    # --- What tessaro shows ---

    def log(self):
        with open(self.log_path, "rb") as log:
            return log.read().decode("utf-8", errors="replace").splitlines()

    def log_size(self):
        return os.path.getsize(self.log_path)

    def wait_for_log(self, what, condition, timeout=10):
        return wait_until(what, lambda: condition(self.log()), timeout)

    def box(self, timeout=10):
        """The message box's window once one is shown."""
        found = wait_until("a message box",
                           lambda: xdotool("search", "--onlyvisible", "--name", "^QUIX$"), timeout)
        return found[0]

    def box_text(self, box, candidates):
        """Which of `candidates` the box shows. X gives no access to a box's text, but each
        text gives the box its own size: the one whose box has the same size is shown."""
        geometry = subprocess.run(["xdotool", "getwindowgeometry", box], capture_output=True,
                                  text=True).stdout
        shown = re.search(r"Geometry: (\d+)x(\d+)", geometry)
        sizes = subprocess.run([self.box_size_tool] + list(candidates), capture_output=True,
                               text=True, env=self.env, timeout=30).stdout.splitlines()
        if shown is None or len(sizes) != len(candidates) or len(set(sizes)) != len(sizes):
            raise Failure("cannot tell the box texts apart: %r, %r" % (geometry, sizes))
        size = "%s %s" % shown.groups()
        return candidates[sizes.index(size)] if size in sizes else None

    def close_box(self, box):
        self.press("Return", box)
        wait_until("the box to close",
                   lambda: not xdotool("search", "--onlyvisible", "--name", "^QUIX$"), 10)

    def values_shown(self):
        """For each of the nine value rows, whether its label shows any text."""
        shot = os.path.join(self.runtime_dir, "panel.png")
        subprocess.run(["import", "-window", self.window, shot], check=True,
                       capture_output=True)
        shown = []
        for row in range(9):
            crop = "%dx%d+%d+%d" % (VALUE_AREA[0], VALUE_AREA[1], VALUE_COLUMN_X,
                                    FIRST_VALUE_ROW_Y + row * VALUE_ROW_PITCH)
            spread = subprocess.run(
                ["convert", shot, "-crop", crop, "+repage", "-format",
                 "%[fx:standard_deviation]", "info:"],
                check=True, capture_output=True, text=True).stdout
            shown.append(float(spread) > 0.0)
        return shown

    # --- What the cutter saw ---

    def commands_received(self, port):
        """The commands the cutter received on `port`, ESC shown as <ESC>, in order."""
        pattern = re.compile(r"^\[\s*[0-9.]+\] " + re.escape(port) + r" < (.*)$")
        with open(self.cutter_out, "rb") as out:
            lines = out.read().decode("utf-8", errors="replace").splitlines()
        return [m.group(1) for m in map(pattern.match, lines) if m]

    def cutter_transcript(self):
        with open(self.cutter_out, "rb") as out:
            return out.read().decode("utf-8", errors="replace")


def appears_in_order(lines, expected):
    """Whether `expected` appears in `lines` in order, each as a whole line."""
    position = 0
    for line in lines:
        if position < len(expected) and line == expected[position]:
            position += 1
    return position == len(expected)


def lines_after(lines, marker):
    """The lines after the last one equal to `marker`."""
    for index in range(len(lines) - 1, -1, -1):
        if lines[index] == marker:
            return lines[index + 1:]
    return []


# --- Windows by title and client size (the wizard's dialogs all read "Tessaro") ---

def window_size(window):
    geometry = subprocess.run(["xdotool", "getwindowgeometry", str(window)],
                              capture_output=True, text=True).stdout
    found = re.search(r"Geometry: (\d+)x(\d+)", geometry)
    return (int(found.group(1)), int(found.group(2))) if found else None


def visible_windows(title):
    """The visible windows titled `title`, as (window, (width, height)) pairs."""
    found = []
    for window in xdotool("search", "--onlyvisible", "--name", "^%s$" % re.escape(title)):
        size = window_size(window)
        if size is not None:
            found.append((window, size))
    return found


def window_of(title, size):
    """The visible window with this title and client size, or None."""
    for window, shown in visible_windows(title):
        if shown == tuple(size):
            return window
    return None


def click_in(window, x, y):
    """Clicks at (x, y) of the window's client area."""
    xdotool("mousemove", "--window", window, x, y)
    xdotool("click", "1")


def type_into(window, text):
    """Focuses the window and types `text` where its focus is."""
    xdotool("windowfocus", "--sync", window)
    # "--" ends xdotool's options: a text such as "-5" is typed, not taken for one.
    xdotool("type", "--delay", "20", "--", text)
