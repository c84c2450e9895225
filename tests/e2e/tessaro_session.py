# SPDX-License-Identifier: GPL-3.0-or-later
"""The real tessaro beside tessaro-vcutter on a virtual X server, driven by the keyboard.

Every end-to-end driver, the screenshots of the user guide and the randomized operator
go through this module: the X server (and openbox where stacking matters), the virtual
cutters and the name each registered, tessaro and its log, the keys, the windows by
title and client size, where the program puts its controls, and screenshots.

Each session gets its own device map (XDG_RUNTIME_DIR is a fresh directory of mode 0700),
so the cutters it starts are the only virtual ports tessaro finds. Tessaro's log comes
from its standard error, each cutter's transcript from that cutter's standard output.
"""

import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

SKIP_RETURN_CODE = 77
UNDER_XVFB = "TESSARO_E2E_UNDER_XVFB"
SCREEN = "1024x768x24"
MAIN_WINDOW = ("Tessaro", "368x288")
# Where a message box's text stands, whatever the text: its first line, from the middle on.
BOX_TEXT_Y = 18
# The panel's nine value labels, top to bottom, as the layout tool names them.
VALUE_LABELS = ["QLabel"] + ["QLabel#%d" % row for row in range(2, 10)]


class Failure(Exception):
    pass


def start_xvfb(xvfb, white_root):
    """Starts an X server on a display drawn at random far above those xvfb-run -a and
    desktops use, so that parallel runs do not contend for one; returns the server and its
    display once a client could connect, or (None, None). Without -noreset the server
    resets whenever its last client leaves, and drops a client that connects meanwhile:
    tessaro starting while xdotool's last query disconnects found no display."""
    display = ":%d" % random.randrange(1000, 30000)
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        [xvfb, display, "-displayfd", str(write_end), "-screen", "0", SCREEN, "-nolisten",
         "tcp", "-noreset"] + (["-wr"] if white_root else []), pass_fds=(write_end,),
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    # The number comes once the server accepts connections; nothing if it did not start.
    with os.fdopen(read_end) as announced:
        started = announced.readline().strip() == display[1:]
    if started and subprocess.run(["xdpyinfo", "-display", display],
                                  capture_output=True).returncode == 0:
        return server, display
    server.terminate()
    server.wait()
    return None, None


def run_under_xvfb(white_root=False):
    """Runs this program again on an X server of its own, or exits with the skip code
    without Xvfb."""
    if os.environ.get(UNDER_XVFB):
        return
    xvfb = shutil.which("Xvfb")
    if xvfb is None:
        print("Xvfb is not installed: skipped")
        sys.exit(SKIP_RETURN_CODE)
    for _ in range(5):
        server, display = start_xvfb(xvfb, white_root)
        if server is not None:
            break
    else:
        print("Xvfb did not start")
        sys.exit(1)
    env = dict(os.environ, DISPLAY=display)
    env[UNDER_XVFB] = "1"
    env.pop("WAYLAND_DISPLAY", None)
    try:
        sys.exit(subprocess.run([sys.executable] + sys.argv, env=env).returncode)
    finally:
        server.terminate()
        server.wait()


def start_window_manager():
    """Starts openbox and waits until it manages the screen; exits with the skip code
    without it."""
    if shutil.which("openbox") is None:
        print("openbox is not installed: skipped")
        sys.exit(SKIP_RETURN_CODE)
    manager = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    wait_until("openbox", lambda: "window id" in subprocess.run(
        ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True,
        text=True).stdout, 10)
    return manager


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


def end_process(process):
    """Ends a process that may be stopped (SIGSTOP): SIGTERM, then SIGKILL after 10 s."""
    if process.poll() is None:
        process.send_signal(signal.SIGCONT)
        process.terminate()
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def read_text(path):
    with open(path, "rb") as file:
        return file.read().decode("utf-8", errors="replace")


# --- Windows by title and client size (the wizard's dialogs all read "Tessaro") ---

def window_geometry(window):
    """A window's place on the screen and its client size: (x, y, width, height)."""
    shown = subprocess.run(["xdotool", "getwindowgeometry", "--shell", str(window)],
                           capture_output=True, text=True).stdout
    values = dict(line.split("=", 1) for line in shown.split() if "=" in line)
    try:
        return tuple(int(values[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))
    except (KeyError, ValueError):
        return None


def window_size(window):
    geometry = window_geometry(window)
    return geometry[2:] if geometry else None


def visible_windows(title):
    """tessaro's visible windows titled `title`, as (window, (width, height)) pairs. They
    are found by the program's class and their title read: the port list's popup and the
    tooltips carry only the newer title property."""
    found = []
    for window in xdotool("search", "--onlyvisible", "--class", "^Tessaro$"):
        names = subprocess.run(["xdotool", "getwindowname", window], capture_output=True,
                               text=True).stdout.rstrip("\n")
        size = window_size(window) if names == title else None
        if size is not None:
            found.append((window, size))
    return found


def window_of(title, size):
    """The visible window with this title whose client size is `size`: a (width, height)
    pair, or a pattern such as "360x211" or r"\\d+x\\d{2}"; None when there is none."""
    pattern = "%dx%d" % tuple(size) if isinstance(size, tuple) else size
    for window, shown in visible_windows(title):
        if re.fullmatch(pattern, "%dx%d" % shown):
            return window
    return None


def click_in(window, x, y):
    """Clicks at (x, y) of the window's client area."""
    xdotool("mousemove", "--window", window, x, y)
    xdotool("click", "1")


def type_into(window, text, delay=20):
    """Focuses the window and types `text` where its focus is."""
    xdotool("windowfocus", "--sync", window)
    # "--" ends xdotool's options: a text such as "-5" is typed, not taken for one.
    xdotool("type", "--delay", delay, "--", text)


def screenshot(path, window="root", crop=None):
    """Saves a window (or a part of the screen) without time stamps, so that an unchanged
    window gives an unchanged file."""
    command = ["import", "-window", str(window)]
    if crop:
        command += ["-crop", "%dx%d+%d+%d" % crop, "+repage"]
    subprocess.run(command + ["-strip", "-define", "png:exclude-chunks=date,time", path],
                   check=True, capture_output=True)


class Layout:
    """Where the program puts its controls, as the layout tool reports them: per window
    client size, control name -> (x, y, width, height) in client coordinates."""

    def __init__(self, tool, env):
        printed = subprocess.run([tool], capture_output=True, text=True, check=True,
                                 env=dict(env, QT_QPA_PLATFORM="offscreen"), timeout=60).stdout
        self.controls = {}
        for line in printed.splitlines():
            _, size, name, box = line.split("\t")
            self.controls.setdefault(size, {})[name] = tuple(int(v) for v in box.split())

    def box(self, size, name):
        return self.controls[size][name]

    def centre(self, size, name):
        x, y, width, height = self.box(size, name)
        return x + width // 2, y + height // 2


class Cutter:
    """One tessaro-vcutter, its transcript in a file of its own."""

    def __init__(self, program, options, env, transcript, prefix=()):
        self.transcript_path = transcript
        with open(transcript, "wb") as out:
            self.process = subprocess.Popen(list(prefix) + [program] + list(options), stdout=out,
                                            stderr=subprocess.STDOUT, env=env)
        # The banner's last line follows the registration of every port.
        wait_until("the cutter to register its ports", self.registered, 10)
        registered = re.findall(r"^\[\s*[0-9.]+\] (\S+) - registered ", self.transcript(),
                                re.MULTILINE)
        self.names = registered
        self.com = next((n for n in registered if n.startswith("COM")), None)
        self.usb = next((n for n in registered if n.startswith("USB")), None)

    def registered(self):
        if self.process.poll() is not None:
            raise Failure("the cutter ended: %s" % self.transcript())
        return "faults:" in self.transcript()

    def transcript(self):
        return read_text(self.transcript_path)

    def pause(self):
        self.process.send_signal(signal.SIGSTOP)

    def resume(self):
        self.process.send_signal(signal.SIGCONT)

    def stop(self):
        end_process(self.process)

    def commands_received(self, port):
        """The commands the cutter received on `port`, ESC shown as <ESC>, in order."""
        pattern = re.compile(r"^\[\s*[0-9.]+\] " + re.escape(port) + r" < (.*)$")
        return [m.group(1) for m in map(pattern.match, self.transcript().splitlines()) if m]

    def cuts(self):
        """The sizes of the shapes cut, in millimetres, as text pairs."""
        return re.findall(r"cut closed shape ([0-9.]+) x ([0-9.]+) mm", self.transcript())

    def cut_attempts(self):
        """How many shapes the cutter cut or refused to cut (at a flash scale of 0)."""
        return len(re.findall(r"cut closed shape|cut open path|cut refused", self.transcript()))

    def flash_writes(self):
        return [line for line in self.transcript().splitlines() if "flash " in line]


class DeviceServer:
    """`device` served by ser2net on 127.0.0.1, as a serial device server serves it, and
    reached through a pseudo-terminal that socat links into the device map as `name`."""

    def __init__(self, device_map, device, name):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        self.name = name
        self.processes = [subprocess.Popen(
            ["ser2net", "-n", "-u", "-P", os.path.join(device_map, ".ser2net.pid"), "-Y",
             "connection: &cutter#  accepter: tcp,127.0.0.1,%d#  connector: serialdev,%s,"
             "9600n81,local" % (port, device)], stderr=subprocess.DEVNULL)]
        wait_until("ser2net to listen",
                   lambda: "0100007F:%04X" % port in read_text("/proc/net/tcp"), 10)
        link = os.path.join(device_map, name)
        self.processes.append(subprocess.Popen(
            ["socat", "pty,link=%s,raw,echo=0" % link, "tcp:127.0.0.1:%d" % port]))
        wait_until("socat to link %s" % name, lambda: os.path.islink(link), 10)

    def stop(self):
        for process in reversed(self.processes):
            end_process(process)


class Session:
    def __init__(self, build_dir, box_size_tool=None, layout_tool=None):
        self.build_dir = os.path.abspath(build_dir)
        self.box_size_tool = box_size_tool
        # The build's own layout tool unless another is named.
        self.layout_tool = layout_tool or os.path.join(self.build_dir, "tests", "e2e",
                                                       "e2e_window_layout")
        self.layout_cache = None
        self.runtime_dir = tempfile.mkdtemp(prefix="tessaro-e2e-")
        os.chmod(self.runtime_dir, 0o700)
        self.device_map = os.path.join(self.runtime_dir, "tessaro", "devices")
        self.env = dict(os.environ)
        self.env["XDG_RUNTIME_DIR"] = self.runtime_dir
        self.env["XDG_STATE_HOME"] = os.path.join(self.runtime_dir, "state")
        self.env["LC_ALL"] = "C.UTF-8"
        self.env.pop("QT_QPA_PLATFORM", None)
        self.log_path = os.path.join(self.runtime_dir, "tessaro.log")
        self.cutters = []
        self.cutter = None
        self.servers = []
        self.app = None
        self.window = None

    # --- Processes ---

    def start_cutter(self, *options, prefix=()):
        """Starts a virtual cutter ("--com", "auto" for a number above every port), behind
        `prefix` as tessaro, and waits until its ports are registered; it becomes
        `self.cutter`."""
        transcript = os.path.join(self.runtime_dir, "cutter-%d.txt" % len(self.cutters))
        self.cutter = Cutter(os.path.join(self.build_dir, "tessaro-vcutter"), options,
                             self.env, transcript, prefix)
        self.cutters.append(self.cutter)
        return self.cutter

    def start_device_server(self, device, name):
        """`device` served on the network and linked back into the device map as `name`."""
        self.servers.append(DeviceServer(self.device_map, device, name))
        return self.servers[-1]

    def start_tessaro(self, prefix=(), arguments=(), size=MAIN_WINDOW[1]):
        """Starts tessaro (behind `prefix`, a command such as setpriv, with `arguments`)
        and waits for its main window, `size` on the screen."""
        with open(self.log_path, "wb") as log:
            self.app = subprocess.Popen(
                list(prefix) + [os.path.join(self.build_dir, "tessaro")] + list(arguments),
                stdout=subprocess.DEVNULL, stderr=log, env=self.env)
        self.window = self.wait_for_window(MAIN_WINDOW[0], size, timeout=20)

    def pause_cutter(self):
        self.cutter.pause()

    def resume_cutter(self):
        self.cutter.resume()

    def exit_tessaro(self):
        self.press("alt+e")
        return self.app.wait(timeout=15)

    def close(self):
        if self.app is not None:
            end_process(self.app)
        for server in self.servers:
            server.stop()
        for cutter in self.cutters:
            cutter.stop()
        shutil.rmtree(self.runtime_dir, ignore_errors=True)

    # --- Windows, the keyboard and the mouse ---

    def wait_for_window(self, title, size, timeout=20):
        return wait_until("window %s %s" % (title, size), lambda: window_of(title, size),
                          timeout)

    def window_gone(self, title, size, timeout=5):
        """Whether the window is gone, or goes within `timeout` seconds."""
        try:
            return wait_until("window %s %s to close" % (title, size),
                              lambda: window_of(title, size) is None, timeout)
        except Failure:
            return False

    def press(self, keys, window=None):
        xdotool("windowfocus", "--sync", window or self.window)
        xdotool("key", "--clearmodifiers", keys)

    def keys_to(self, title, size, *keys):
        """Waits for the window, focuses it and sends it keys (xdotool key arguments)."""
        window = self.wait_for_window(title, size)
        xdotool("windowfocus", "--sync", window)
        time.sleep(0.3)
        xdotool("key", "--clearmodifiers", "--delay", "60", *keys)

    def type_into(self, title, size, text):
        type_into(self.wait_for_window(title, size), text, delay=60)

    def layout(self):
        if self.layout_cache is None:
            self.layout_cache = Layout(self.layout_tool, self.env)
        return self.layout_cache

    def click_control(self, window, size, name):
        """Clicks the middle of a control, where the layout tool says it stands."""
        xdotool("windowfocus", "--sync", window)
        click_in(window, *self.layout().centre(size, name))

    def retype(self, title, size, control, text):
        """Clicks into an edit field and replaces its text."""
        window = self.wait_for_window(title, size)
        self.click_control(window, size, control)
        time.sleep(0.2)
        xdotool("key", "--clearmodifiers", "ctrl+a")
        xdotool("type", "--delay", "60", "--", text)

    def port_list_text(self):
        """Where the port list's text is typed, in the main window."""
        return self.layout().centre(MAIN_WINDOW[1], "QLineEdit")

    def open_port_list(self):
        """Focuses the port list and opens it, as an operator would."""
        click_in(self.window, *self.port_list_text())
        self.press("F4")
        time.sleep(0.5)

    def choose_last_port(self):
        """Opens the port list and picks its last entry."""
        self.open_port_list()
        xdotool("key", "End")
        xdotool("key", "Return")

    def port_text(self):
        """The port list's text, copied from its field."""
        click_in(self.window, *self.port_list_text())
        self.press("ctrl+a")
        self.press("ctrl+c")
        return self.clipboard()

    def type_port(self, name):
        """Replaces the port list's text with `name`, as typed by an operator."""
        self.retype(*MAIN_WINDOW, "QLineEdit", name)

    # --- What tessaro shows ---

    def log(self):
        return read_text(self.log_path).splitlines()

    def log_size(self):
        return os.path.getsize(self.log_path)

    def wait_for_log(self, what, condition, timeout=10):
        return wait_until(what, lambda: condition(self.log()), timeout)

    def box(self, timeout=10):
        """The message box's window once one is shown."""
        found = wait_until("a message box",
                           lambda: [w for w, _ in visible_windows("QUIX")], timeout)
        return found[0]

    def box_text(self, box, candidates):
        """Which of `candidates` the box shows. X gives no access to a box's text, but each
        text gives the box its own size: the one whose box has the same size is shown."""
        shown = window_size(box)
        sizes = subprocess.run([self.box_size_tool] + list(candidates), capture_output=True,
                               text=True, env=self.env, timeout=30).stdout.splitlines()
        if shown is None or len(sizes) != len(candidates) or len(set(sizes)) != len(sizes):
            raise Failure("cannot tell the box texts apart: %r, %r" % (shown, sizes))
        size = "%d %d" % shown
        return candidates[sizes.index(size)] if size in sizes else None

    def clipboard(self):
        """The clipboard's text, read through the box size tool."""
        return subprocess.run([self.box_size_tool, "--clipboard"], capture_output=True,
                              text=True, env=self.env, timeout=30).stdout

    def box_message(self, box):
        """The text a message box shows. The style lets the mouse select a box's text: a
        click into it gives it the focus, and Ctrl+A, Ctrl+C put it on the clipboard."""
        width, _ = window_size(box)
        click_in(box, width // 2, BOX_TEXT_Y)
        xdotool("key", "--clearmodifiers", "ctrl+a")
        xdotool("key", "--clearmodifiers", "ctrl+c")
        return wait_until("the box's text on the clipboard", self.clipboard, 5)

    def only_box_message(self, timeout=20, quiet_after=2.0):
        """The text of the one message box that appears; fails when another box is shown
        beside it or within `quiet_after` seconds after it is closed."""
        box = self.box(timeout)
        check(len(visible_windows("QUIX")) == 1, "more than one message box at once")
        text = self.box_message(box)
        print("the box says %r" % text)
        self.press("Return", box)
        wait_until("the box to close",
                   lambda: box not in [window for window, _ in visible_windows("QUIX")], 10)
        deadline = time.monotonic() + quiet_after
        while time.monotonic() < deadline:
            following = visible_windows("QUIX")
            check(not following, "after the box %r came a second box: %r" % (
                text, following and self.box_message(following[0][0])))
            time.sleep(0.1)
        return text

    def close_box(self, box):
        self.press("Return", box)
        wait_until("the box to close", lambda: not visible_windows("QUIX"), 10)

    def values_shown(self):
        """For each of the nine value rows, whether its label shows any text: the row from
        the label's place to the value frame's right edge, one row pitch high."""
        layout = self.layout()
        frame_x, _, frame_width, _ = layout.box(MAIN_WINDOW[1], "GroupBox1")
        rows = [layout.box(MAIN_WINDOW[1], name) for name in VALUE_LABELS]
        pitch = rows[1][1] - rows[0][1]
        shot = os.path.join(self.runtime_dir, "panel.png")
        screenshot(shot, self.window)
        shown = []
        for x, y, _, _ in rows:
            crop = "%dx%d+%d+%d" % (frame_x + frame_width - 4 - x, pitch, x, y)
            spread = subprocess.run(
                ["convert", shot, "-crop", crop, "+repage", "-format",
                 "%[fx:standard_deviation]", "info:"],
                check=True, capture_output=True, text=True).stdout
            shown.append(float(spread) > 0.0)
        return shown

    # --- What the cutter saw ---

    def commands_received(self, port):
        return self.cutter.commands_received(port)

    def cutter_transcript(self):
        return self.cutter.transcript() if self.cutter else ""

    def report(self, failure):
        """Prints a failure with the ends of tessaro's log and of the cutters' transcripts."""
        print("FAILED: %s" % failure)
        print("--- tessaro's log (last 60 lines) ---")
        print("\n".join(self.log()[-60:]) if self.app else "(not started)")
        for cutter in self.cutters:
            print("--- the transcript of %s (last 40 lines) ---" % ", ".join(cutter.names))
            print("\n".join(cutter.transcript().splitlines()[-40:]))


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


def check(condition, message):
    if not condition:
        raise Failure(message)


def main(run, parser, white_root=False, window_manager=False, x_server=True):
    """Parses the command line, runs on an Xvfb of its own (and openbox) unless told
    otherwise, runs `run(session, arguments)` and reports a failure; the exit code for
    CTest."""
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--box-size-tool")
    parser.add_argument("--layout-tool")
    arguments = parser.parse_args()
    if x_server:
        run_under_xvfb(white_root)
    manager = start_window_manager() if window_manager else None
    session = Session(arguments.build_dir, arguments.box_size_tool, arguments.layout_tool)
    try:
        run(session, arguments)
        return 0
    except Failure as failure:
        session.report(failure)
        return 1
    finally:
        session.close()
        if manager is not None:
            manager.terminate()
            manager.wait()
