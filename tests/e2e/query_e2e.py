#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""tessaro-query against tessaro-vcutter, on a COM port or on USB0 of a private device map.

Usage: query_e2e.py --link com|usb [--fault KIND] --query PROGRAM --build-dir DIR

The queries in text and JSON, each answered with what the cutter holds and sent byte for
byte; the monitor's lines, a change made at the cutter (SIGUSR1, its force key) among them,
until SIGINT, SIGTERM or SIGQUIT; a silent cutter, one that stops answering, a port held by
another program, a COM port while a USB cutter is attached, wrong command lines, output
that cannot be written or meets a closed pipe, names no port table resolves, control bytes
from a cutter, bash completion, a cutter behind a device server, and the port list; the
scale writes and their journal: test-cut and calibrate as the window sends them, restore,
a cutter that ignores the write, a write killed between its two records, the question
on a terminal, a journal that cannot be written; a planned calibration with three readings.
With --fault, a cutter of another kind (CR LF endings, late replies): its answers and its
monitor. No display is needed.
"""

import argparse
import fcntl
import json
import os
import pty
import re
import signal
import subprocess
import sys
import termios
import threading
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from tessaro_session import Failure, check, main, wait_until  # noqa: E402

# A cutter whose every value differs from the virtual cutter's defaults.
CUTTER = ["--media", "610.25,1000", "--settings", "31,95,300,4,0,1,1", "--model", "TX-24",
          "--firmware", "3.01 1207", "--scale", "1012,996"]
NO_ANSWER = "no answer within 1.0 s"
NOT_WHOLE = "the answer was not one whole"
USB_CABLE_PLUGGED = "When USB cable plug-in, com port not working."
# The monitor asks again after 101 silent ticks of 16 ms, so a change shows within that
# period and a reply's 11 ticks; twice that leaves room for a loaded machine.
MONITOR_PERIOD = 1.8
# Missing command, unknown command, two commands, unknown options before and after the
# command, option without value.
USAGE_ERRORS = [[], ["colour"], ["size", "scale"], ["--frobnicate", "size"], ["size", "-x"],
                ["size", "--port"], ["ports", "--port", "COM1"], ["size", "--timeout", "0"],
                ["size", "--timeout", "1,5"]]
# Names no port table resolves: refused at once, the ports listed.
UNKNOWN_PORTS = ["COM 250", "xCOM250", "COM", "COM999999999999", "ttyS0", "COM\x1b[2J"]
CLOSED_PIPE = 128 + signal.SIGPIPE
# One line of cause, as tessaro's own refusals are.
USAGE_ERROR = re.compile(r"tessaro-query: [^\n]+ \(see tessaro-query --help\)\n")
EXCLUSIVE_USE_LEFT = re.compile(r"exclusive use (its host )?left")


def settings_lines(force):
    return ["Force: %d" % force, "Offset: 0.300 mm", "Media Weight: Heavy", "Quality: Fine",
            "Smooth: Disable", "Auto Unroll: Enable", "Media Type: Single"]


def settings_json(force):
    return {"force": force, "offset_mm": 0.3, "media_weight": "Heavy", "quality": "Fine",
            "smooth": False, "auto_unroll": True, "media_type": "Single"}


# command: (lines printed, the JSON object without "port", the command the cutter receives)
QUERIES = {
    "size": (["Poll Size X: 610.25 mm", "Poll Size Y: 1000 mm"],
             {"poll_size_x_mm": 610.25, "poll_size_y_mm": 1000}, "OH;"),
    "settings": (settings_lines(95), settings_json(95), "<ESC>.R1:"),
    "firmware": (["Model: TX-24", "Version: 3.01", "Version Field: 3.01 1207"],
                 {"model": "TX-24", "version": "3.01", "version_field": "3.01 1207"}, "<ESC>.R4:"),
    "scale": (["Scale X: 1012", "Scale Y: 996"], {"scale_x": 1012, "scale_y": 996}, "<ESC>.R3:"),
}


def typed(values):
    """The values with their JSON types: true is not 1, 1000 is not "1000"."""
    return {key: (type(value).__name__, value) for key, value in values.items()}


def device_of(cutter, name):
    """The device behind a registered port, as the cutter's banner names it."""
    return re.search(r"%s - registered \S+ -> (\S+)" % name, cutter.transcript()).group(1)


class Query:
    """tessaro-query against the cutter's port; `force` follows the presses of its key."""

    def __init__(self, program, session, cutter, port):
        self.program = program
        self.session = session
        self.cutter = cutter
        self.port = port
        self.force = 95

    def run(self, *arguments, env=None, stdout=subprocess.PIPE):
        started = time.monotonic()
        done = subprocess.run([self.program] + list(arguments), stdin=subprocess.DEVNULL,
                              stdout=stdout,
                              stderr=subprocess.PIPE, text=True, errors="backslashreplace",
                              env=env or self.session.env, timeout=30)
        print("$ tessaro-query %s -> %d (%.1f s)" % (" ".join(arguments), done.returncode,
                                                      time.monotonic() - started))
        return done

    def commands(self, port=None):
        return self.cutter.commands_received(port or self.port)

    def host_closes(self):
        """How often the cutter saw a host close the port after talking to it."""
        return self.cutter.transcript().count("%s - host closed the port" % self.port)

    def expect_answer(self, arguments, lines, values, command, env=None):
        """Exit 0 with these lines, or this object with --json; the one command sent (when
        given). Returns the commands the cutter received."""
        sent = len(self.commands())
        done = self.run(*arguments, env=env)
        check(done.returncode == 0, "%s: exit %d, stderr %r" % (arguments, done.returncode,
                                                                done.stderr))
        if "--json" in arguments:
            printed = done.stdout.splitlines()
            check(len(printed) == 1, "%s printed %r, not one line" % (arguments, done.stdout))
            port = arguments[arguments.index("--port") + 1] if "--port" in arguments else None
            shown, wanted = json.loads(printed[0]), dict(values, port=port or self.port)
            check(typed(shown) == typed(wanted), "%s printed %r, not %r" % (
                arguments, shown, wanted))
        else:
            check(done.stdout == "".join(line + "\n" for line in lines),
                  "%s printed %r, not %r" % (arguments, done.stdout, lines))
        received = self.commands()[sent:]
        check(command is None or received == [command], "%s: the cutter received %r, not %r" % (
            arguments, received, command))
        return received

    def expect_failure(self, arguments, cause, port=None):
        """Exit 1, nothing on standard output, the cause on standard error; returns the
        commands `port` received meanwhile."""
        sent = len(self.commands(port))
        done = self.run(*arguments)
        check(done.returncode == 1 and done.stdout == "",
              "%s: exit %d, stdout %r" % (arguments, done.returncode, done.stdout))
        check(done.stderr.startswith("tessaro-query: ") and cause in done.stderr,
              "%s: stderr %r does not say %r" % (arguments, done.stderr, cause))
        return self.commands(port)[sent:]


class Monitor:
    """tessaro-query monitor running, its lines collected as they come; killed at the end
    of its `with` block if it still runs."""

    def __init__(self, query, *options, stdout=subprocess.PIPE):
        self.process = subprocess.Popen(
            [query.program, "--port", query.port, "monitor"] + list(options),
            stdout=stdout, stderr=subprocess.PIPE, text=True, env=query.session.env)
        self.lines = []
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def read(self):
        for line in self.process.stdout or []:
            self.lines.append((time.monotonic(), line.rstrip("\n")))

    def wait_for_lines(self, count, timeout=10):
        def printed():
            if self.process.poll() is not None and len(self.lines) < count:
                raise Failure("the monitor ended with %d: %r" % (self.process.returncode,
                                                                 self.process.stderr.read()))
            return len(self.lines) >= count
        wait_until("%d monitor lines" % count, printed, timeout)

    def end(self, signal_number=None, timeout=10):
        """Sends the signal (if any) and returns the exit status and standard error."""
        if signal_number is not None:
            self.process.send_signal(signal_number)
        try:
            code = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the monitor did not end within %d s" % timeout)
        self.reader.join(timeout=5)
        return code, self.process.stderr.read()

    def texts(self):
        return [line for _, line in self.lines]


def answers_what_the_cutter_holds(query):
    for command, answer in QUERIES.items():
        for options in ([], ["--json"]):
            query.expect_answer(["--port", query.port, command] + options, *answer)
    # Numbers keep their point where the locale writes a comma.
    comma = dict(query.session.env, LC_ALL="de_DE.UTF-8")
    for options in ([], ["--json"]):
        query.expect_answer(options + ["--port", query.port, "settings"], *QUERIES["settings"],
                            env=comma)


def finds_the_one_cutter_without_a_port(query):
    """Each candidate may be asked a read query to see who answers; then the query."""
    lines, values, sent = QUERIES["size"]
    received = query.expect_answer(["--json", "size"], lines, values, None)
    read_queries = [command for _, _, command in QUERIES.values()]
    check(received[-1:] == [sent] and set(received) <= set(read_queries),
          "without --port the cutter received %r" % received)


def answers_on_a_device_path(query):
    """A serial port named by its device, as `ports` lists it."""
    if not query.cutter.com:
        return
    lines, _, sent = QUERIES["size"]
    query.expect_answer(["--port", device_of(query.cutter, query.port), "size"], lines, None,
                        sent)


def answers_through_a_device_server(query):
    """The cutter's port served by ser2net on 127.0.0.1 and linked back by socat."""
    if not query.cutter.com:
        return
    server = query.session.start_device_server(device_of(query.cutter, query.port), "COM245")
    lines, values, sent = QUERIES["size"]
    query.expect_answer(["--port", server.name, "SIZE", "--json"], lines, values, sent)
    server.stop()  # it shares the cutter's terminal with whoever opens it next


def monitor_shows_a_change(query, options, end_signal):
    """The first reply printed, unchanged ones not, the change within the monitor's
    period; then the signal ends it with exit 0 and the port closed by the program."""
    sent = len(query.commands())
    with Monitor(query, *options) as monitor:
        monitor.wait_for_lines(1)
        wait_until("two more settings replies", lambda: len(query.commands()) >= sent + 3, 10)
        time.sleep(0.5)
        check(len(monitor.lines) == 1, "unchanged replies printed %r" % monitor.texts())
        pressed_at = time.monotonic()
        query.cutter.process.send_signal(signal.SIGUSR1)
        query.force += 1
        monitor.wait_for_lines(2)
        delay = monitor.lines[1][0] - pressed_at
        print("the change showed after %.1f s" % delay)
        check(delay <= 2 * MONITOR_PERIOD, "the change showed after %.1f s" % delay)
        closes = query.host_closes()
        code, errors = monitor.end(end_signal)
    check(code == 0, "monitor ended by %s: exit %d, %r" % (end_signal.name, code, errors))
    if "--json" in options:
        shown = [typed(json.loads(line)) for line in monitor.texts()]
        wanted = [typed(dict(settings_json(force), port=query.port))
                  for force in (query.force - 1, query.force)]
    else:
        shown = monitor.texts()
        wanted = ["; ".join(settings_lines(force)) for force in (query.force - 1, query.force)]
    check(shown == wanted, "the monitor printed %r, not %r" % (shown, wanted))
    received = query.commands()[sent:]
    check(received == ["<ESC>.R1:"] * len(received), "the monitor sent %r" % received)
    # Closed by the program, not by the kernel at its end: the serial code gives the
    # exclusive use back before it closes, so the cutter has none to clear.
    wait_until("the port closed", lambda: query.host_closes() > closes, 5)
    check(not EXCLUSIVE_USE_LEFT.search(query.cutter.transcript()),
          "the monitor left the port marked for exclusive use")


def monitor_text_until_sigint(query):
    monitor_shows_a_change(query, [], signal.SIGINT)


def monitor_json_until_sigterm(query):
    monitor_shows_a_change(query, ["--json"], signal.SIGTERM)


def monitor_json_until_sigquit(query):
    monitor_shows_a_change(query, ["--json"], signal.SIGQUIT)


def monitor_tells_a_silence_and_goes_on(query):
    """A cutter busy for three seconds: the silence and the answers' return are told, and
    the monitor runs on until it is ended."""
    with Monitor(query) as monitor:
        monitor.wait_for_lines(1)
        closes = query.host_closes()
        query.cutter.pause()
        try:
            time.sleep(3)
        finally:
            query.cutter.resume()
        time.sleep(2.5)
        code, errors = monitor.end(signal.SIGTERM)
    wait_until("the cutter to see the port closed", lambda: query.host_closes() > closes, 5)
    told = ["tessaro-query: %s: no answer for 2 s" % query.port,
            "tessaro-query: %s: answering again" % query.port]
    check(code == 0 and errors.splitlines()[:2] == told,
          "a monitor whose cutter went quiet: exit %d, %r" % (code, errors))


def monitor_ends_when_the_port_is_gone(query):
    link = ["--usb", "3"] if query.cutter.usb else ["--com", "auto"]
    leaving = query.session.start_cutter(*link)
    port = leaving.usb or leaving.com
    with Monitor(Query(query.program, query.session, leaving, port)) as monitor:
        monitor.wait_for_lines(1)
        leaving.stop()
        query.session.cutters.remove(leaving)  # its ports are listed no more
        code, errors = monitor.end(timeout=10)
    check(code == 1 and "the port is gone" in errors,
          "a monitor whose port went away: exit %d, %r" % (code, errors))


def a_silent_cutter_is_reported(query):
    """A second cutter that never answers; on the USB link it has a COM port too, which
    is refused while a USB cutter is attached."""
    if query.cutter.usb:
        silent = query.session.start_cutter("--usb", "1", "--com", "auto", "--fault", "silent")
    else:
        silent = query.session.start_cutter("--com", "auto", "--fault", "silent")
    silent_port = silent.usb or silent.com
    for command in ("size", "settings"):
        for options in ([], ["--json"]):
            query.expect_failure(["--port", silent_port, command] + options,
                                 "%s: %s\n" % (silent_port, NO_ANSWER), silent_port)
    if silent.usb:
        received = query.expect_failure(["--port", silent.com, "size"], USB_CABLE_PLUGGED,
                                        silent.com)
        check(received == [], "the COM port received %r beside a USB cutter" % received)


def a_short_answer_is_no_answer(query):
    """A cutter that answers noise of the reply's length: what it held no value for is not
    printed as if read."""
    link = ["--usb", "2"] if query.cutter.usb else ["--com", "auto"]
    noisy = query.session.start_cutter(*link, "--fault", "garbage")
    port = noisy.usb or noisy.com
    for command in ("settings", "firmware"):
        query.expect_failure(["--port", port, command, "--json"], NOT_WHOLE, port)


def a_reply_after_the_wait_is_no_answer_to_the_next_query(query):
    """A settings reply that comes after its query gave up, during the next query's wait:
    never printed as a size."""
    link = ["--usb", "2"] if query.cutter.usb else ["--com", "auto"]
    late = query.session.start_cutter(*link, "--fault", "late:1500")
    port = late.usb or late.com
    query.expect_failure(["--port", port, "settings"], NO_ANSWER, port)
    query.expect_failure(["--port", port, "size", "--json"], port + ": ", port)


def a_held_port_is_in_use(query):
    held = os.open(os.path.realpath(os.path.join(query.session.device_map, query.port)),
                   os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        # As the serial code of Linux takes a port for itself.
        fcntl.flock(held, fcntl.LOCK_EX | fcntl.LOCK_NB)
        fcntl.ioctl(held, termios.TIOCEXCL)
        for command in ("size", "monitor"):
            received = query.expect_failure(["--port", query.port, command], "in use")
            check(received == [], "a held port received %r" % received)
    finally:
        fcntl.ioctl(held, termios.TIOCNXCL)
        os.close(held)


def wrong_command_lines_are_usage_errors(query):
    sent = len(query.commands())
    for arguments in USAGE_ERRORS:
        done = query.run(*arguments)
        check(done.returncode == 2 and done.stdout == "" and USAGE_ERROR.fullmatch(done.stderr),
              "%r: exit %d, stdout %r, stderr %r" % (arguments, done.returncode, done.stdout,
                                                     done.stderr))
    check(query.commands()[sent:] == [], "a usage error reached the cutter")


def ports_lists_the_cutters(query):
    expected = [(name, device_of(cutter, name)) for cutter in query.session.cutters
                for name in cutter.names]
    done = query.run("ports")
    check(done.returncode == 0, "ports: exit %d, %r" % (done.returncode, done.stderr))
    rows = [line.split("\t") for line in done.stdout.splitlines()]
    done = query.run("ports", "--json")
    listed = json.loads(done.stdout)
    check(done.returncode == 0 and list(listed) == ["ports"], "ports --json: %r" % done.stdout)
    for name, device in expected:
        check([name, device, ""] in rows, "ports lists no %s at %s: %r" % (name, device, rows))
        check({"name": name, "device": device, "usb_id": None} in listed["ports"],
              "ports --json lists no %s at %s: %r" % (name, device, listed))


def lost_output_is_exit_one(query):
    """Output that cannot be written is exit 1 with the cause, as GNU tools have it."""
    with open("/dev/full", "w") as full:
        for arguments in (["--port", query.port, "size"], ["settings", "--port", query.port],
                          ["ports"], ["--help"], ["--version"], ["-V"]):
            done = query.run(*arguments, stdout=full)
            check(done.returncode == 1 and "write error" in done.stderr,
                  "%s >/dev/full: exit %d, %r" % (arguments, done.returncode, done.stderr))
        with Monitor(query, stdout=full) as monitor:
            code, errors = monitor.end(timeout=10)
    check(code == 1 and "write error" in errors, "monitor >/dev/full: %d, %r" % (code, errors))


def a_closed_pipe_leaves_the_port_usable(query):
    """`monitor | head -1`: 141 within a second of head's end, with no change at the cutter
    to meet the closed pipe; the port closed."""
    pipeline = subprocess.Popen(
        ["bash", "-c", '"$0" --port "$1" monitor | head -1; echo "${PIPESTATUS[0]}"',
         query.program, query.port], stdout=subprocess.PIPE, text=True, env=query.session.env)
    first = pipeline.stdout.readline()
    printed_at = time.monotonic()
    status = pipeline.communicate(timeout=15)[0].strip()
    ended_after = time.monotonic() - printed_at
    check(first.startswith("Force: ") and status == str(CLOSED_PIPE) and ended_after < 1,
          "monitor | head -1: %r, status %s after %.1f s" % (first, status, ended_after))
    lines, values, sent = QUERIES["size"]
    query.expect_answer(["--port", query.port, "size"], lines, values, sent)
    check(not EXCLUSIVE_USE_LEFT.search(query.cutter.transcript()),
          "the closed pipe left the port marked for exclusive use")


def port_names_follow_one_rule(query):
    for name in UNKNOWN_PORTS:
        received = query.expect_failure(["--port", name, "size"], "; the ports: ")
        check(received == [], "--port %r reached the cutter: %r" % (name, received))
    done = query.run("--port", UNKNOWN_PORTS[-1], "size")
    check("\\x1B[2J" in done.stderr and "\x1b" not in done.stderr,
          "--port echoed %r" % done.stderr)


def two_answering_cutters_are_listed(query):
    """Without --port, never the first of two cutters that answer."""
    second = query.session.start_cutter(*(["--usb", "3"] if query.cutter.usb else ["--com",
                                                                                    "auto"]))
    done = query.run("size")
    check(done.returncode == 1 and done.stdout == "" and query.port in done.stderr and
          (second.usb or second.com) in done.stderr,
          "two cutters: exit %d, %r" % (done.returncode, done.stderr))


def bash_completes(query):
    """What bash offers after the words typed, the last one the word completed."""
    completion = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../data/"
                              "completion/tessaro-query")
    script = 'source "$0"; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _tessaro_query; ' \
             'echo "${COMPREPLY[@]}"'
    for typed, wanted in ((["se"], "settings"), (["size", "--j"], "--json"),
                          (["--port", ""], query.port), (["--port", "=", ""], query.port),
                          (["hi"], "history"), (["restore", "--e"], "--entry"),
                          (["calibrate", "--m"], "--measured"),
                          (["calibrate", "--res"], "--resolution")):
        offered = subprocess.run(["bash", "-c", script, completion, query.program] + typed,
                                 capture_output=True, text=True, env=query.session.env).stdout
        check(wanted in offered.split(), "bash offered %r for %r" % (offered, typed))


# The window's bytes for the same numbers: its test cut of 50 x 40 mm, and its write once
# that cut measured 50.5 x 40.4 mm on a cutter holding 1012,996.
WINDOW_TEST_CUT = ["VS30;", "SP1;", "PR;", "PU0,0;", "PD0,0,2000,0,0,1600,-2000,0,0,-1600;",
                   "PU;"]
WINDOW_WRITE = ["<ESC>.C6;1;1022:", "<ESC>.C6;0;1005:"]


def history(query, port=None):
    """The journal's entries as history --json prints them, and what it warned."""
    done = query.run("history", "--json", *(["--port", port] if port else []))
    check(done.returncode == 0, "history: exit %d, %r" % (done.returncode, done.stderr))
    return [json.loads(line) for line in done.stdout.splitlines()], done.stderr


def expect_scale(query, port, values):
    done = query.run("--port", port, "scale", "--json")
    shown = json.loads(done.stdout)
    check((shown["scale_x"], shown["scale_y"]) == values, "%s holds %r, not %r" % (
        port, shown, values))


def writes(received):
    return [command for command in received if command.startswith("<ESC>.C6")]


def calibrate_then_restore_puts_the_flash_back(query):
    """The window's bytes for the same numbers, then restore writes back the start."""
    sent = len(query.commands())
    done = query.run("--port", query.port, "test-cut", "--size", "50x40")
    # A cut has no answer: the cutter may log it after the program ended.
    wait_until("the test cut", lambda: len(query.commands()) >= sent + len(WINDOW_TEST_CUT), 10)
    check(done.returncode == 0 and query.commands()[sent:] == WINDOW_TEST_CUT,
          "test-cut: exit %d, sent %r" % (done.returncode, query.commands()[sent:]))
    sent = len(query.commands())
    done = query.run("--port", query.port, "calibrate", "--test", "50x40", "--measured",
                     "50.5x40.4", "--yes")
    check(done.returncode == 0 and done.stdout == "Scale X: 1022 +/- 5.8 steps (0.57 %, 0.29 mm)\n"
          "Scale Y: 1005 +/- 7.2 steps (0.71 %, 0.29 mm)\n" and
          writes(query.commands()[sent:]) == WINDOW_WRITE,
          "calibrate: exit %d, %r, sent %r" % (done.returncode, done.stderr + done.stdout,
                                               query.commands()[sent:]))
    done = query.run("--port", query.port, "restore", "--entry", str(len(history(query)[0])),
                     "--yes")
    check(done.returncode == 0, "restore: exit %d, %r" % (done.returncode, done.stderr))
    expect_scale(query, query.port, (1012, 996))
    entries, _ = history(query, query.port)
    check([(e["before"], e["after"], e["outcome"], e.get("measured_mm")) for e in entries[-2:]] ==
          [({"x": 1012, "y": 996}, {"x": 1022, "y": 1005}, "saved", {"x": 50.5, "y": 40.4}),
           ({"x": 1022, "y": 1005}, {"x": 1012, "y": 996}, "saved", None)],
          "history: %r" % entries[-2:])
    # An unknown USB device ID is null, as `ports --json` gives it.
    check(all(e["usb_device_id"] is None or e["usb_device_id"] for e in entries),
          "history: %r" % entries)


def restore_after_a_change_elsewhere_is_refused(query):
    """A write the journal never saw (another machine's) stands until --force."""
    unjournaled = dict(query.session.env, XDG_STATE_HOME=os.path.join(
        query.session.runtime_dir, "elsewhere"))
    done = query.run("--port", query.port, "scale", "--set", "1015,999", "--yes",
                     env=unjournaled)
    check(done.returncode == 0, "scale --set elsewhere: exit %d" % done.returncode)
    received = query.expect_failure(["--port", query.port, "restore", "--yes"],
                                    "holds 1015,999, not the 1012,996")
    check(writes(received) == [], "a refused restore sent %r" % received)
    done = query.run("--port", query.port, "restore", "--yes", "--force")
    check(done.returncode == 0, "restore --force: exit %d, %r" % (done.returncode, done.stderr))
    expect_scale(query, query.port, (1022, 1005))
    query.run("--port", query.port, "scale", "--set", "1012,996", "--yes")


def another_cutter(query, *options):
    """A cutter beside the first on its kind of link; USB3, the last USB number, is taken
    from whichever earlier cutter holds it."""
    if not query.cutter.usb:
        return query.session.start_cutter("--com", "auto", *options)
    for holder in (cutter for cutter in query.session.cutters if cutter.usb == "USB3"):
        holder.stop()
    return query.session.start_cutter("--usb", "3", *options)


def a_cutter_that_ignores_the_write_is_journaled(query):
    stubborn = another_cutter(query, "--fault", "ignore-write")
    port = stubborn.usb or stubborn.com
    query.expect_failure(["--port", port, "scale", "--set", "1030,1010", "--yes"],
                         "read-back differs: wrote 1030,1010, the cutter reports 1012,996", port)
    entries, _ = history(query, port)
    check([(e["outcome"], e.get("read_back")) for e in entries] ==
          [("read-back differs", {"x": 1012, "y": 996})], "history: %r" % entries)


def a_write_killed_between_its_records_is_outcome_unknown(query):
    """The program killed while the cutter is busy with its flash; then a record cut short
    by a crash is skipped with a warning."""
    busy = another_cutter(query, "--fault", "flash-busy:8000")
    port = busy.usb or busy.com
    journal = os.path.join(query.session.env["XDG_STATE_HOME"], "tessaro", "scale-journal.jsonl")
    before = len(history(query)[0])
    writer = subprocess.Popen([query.program, "--port", port, "--timeout", "5", "scale", "--set",
                               "1020,1000", "--yes"], env=query.session.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_until("the write", lambda: "flash X scale" in busy.transcript(), 20)
    writer.kill()
    writer.wait()
    with open(journal, "a") as torn:
        torn.write('{"record":"before","id":"x","port":"COM')
    entries, warned = history(query)
    check(len(entries) == before + 1 and entries[-1]["outcome"] == "outcome unknown",
          "history after the kill: %r" % entries[before:])
    check("is not a whole record (cut short?): skipped" in warned, "history warned %r" % warned)
    done = query.run("--port", query.port, "scale", "--set", "1012,996", "--yes")
    entries, _ = history(query)
    check(done.returncode == 0 and len(entries) == before + 2 and
          (entries[-1]["after"], entries[-1]["outcome"]) == ({"x": 1012, "y": 996}, "saved"),
          "the write after a torn line: exit %d, history %r" % (done.returncode, entries[before:]))


def a_planned_calibration_cuts_within_one_step(query):
    """On a cutter 0.35 % long on X and 0.25 % short on Y: the plan, its test cut, a reading
    10 % off refused with nothing sent, then three readings of what the cutter cut rounded to
    0.5 mm; the next cut of that size is within one flash step, and the journal keeps every
    reading."""
    cutter = another_cutter(query, "--scale", "1000,1000", "--error", "1.0035,0.9975")
    port = cutter.usb or cutter.com
    done = query.run("--port", port, "calibrate", "--plan", "--json")
    plan = json.loads(done.stdout)
    check(done.returncode == 0 and plan["reaches_one_step"] == {"x": True, "y": True},
          "plan: exit %d, %r" % (done.returncode, done.stdout + done.stderr))
    nominal = (plan["test_size_mm"]["x"], plan["test_size_mm"]["y"])
    size = "%gx%g" % nominal

    def cut():
        cuts = len(cutter.cuts())
        query.run("--port", port, "test-cut", "--size", size)
        wait_until("the test cut", lambda: len(cutter.cuts()) > cuts, 10)
        return [float(length) for length in cutter.cuts()[-1]]
    reading = "%gx%g" % tuple(round(length * 2) / 2 for length in cut())
    calibrate = ["--port", port, "calibrate", "--test", size, "--yes", "--measured", reading]
    received = query.expect_failure(calibrate + ["--measured", "%gx%g" % (nominal[0] * 1.11,
                                                                          nominal[1])],
                                    "more than 10 %", port)
    check(received == [], "a refused calibration sent %r" % received)
    done = query.run(*calibrate, "--measured", reading, "--measured", reading)
    check(done.returncode == 0 and "+/- 1.0 step" in done.stdout,
          "calibrate: exit %d, %r" % (done.returncode, done.stdout + done.stderr))
    scale = json.loads(query.run("--port", port, "scale", "--json").stdout)
    for length, wanted, written in zip(cut(), nominal, (scale["scale_x"], scale["scale_y"])):
        check(abs(length - wanted) <= wanted / written, "cut %g mm for %g mm at %d" % (
            length, wanted, written))
    readings = [float(length) for length in reading.split("x")]
    calibration = history(query, port)[0][-1]["calibration"]
    check(calibration["readings_mm"] == {"x": [readings[0]] * 3, "y": [readings[1]] * 3} and
          calibration["media_type"] == "Roll", "journal: %r" % calibration)


def a_write_asks_on_a_terminal(query):
    """The question on a terminal, no by default; without a terminal --yes is needed."""
    sent = len(query.commands())
    for answer, code in ((b"\n", 1), (b"y\n", 0)):
        master, slave = pty.openpty()
        writer = subprocess.Popen([query.program, "--port", query.port, "scale", "--set",
                                   "1013,997"], stdin=slave, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, env=query.session.env)
        os.close(slave)
        question = writer.stderr.read(len("Write scale 1013,997 to %s (now 1012,996)? [y/N] "
                                           % query.port))
        check(question.decode() == "Write scale 1013,997 to %s (now 1012,996)? [y/N] "
              % query.port, "asked %r" % question)
        os.write(master, answer)
        check(writer.wait(timeout=30) == code, "answered %r: exit %d" % (answer, writer.returncode))
        os.close(master)
    check(writes(query.commands()[sent:]) == ["<ESC>.C6;1;1013:", "<ESC>.C6;0;997:"],
          "the answers sent %r" % query.commands()[sent:])
    master, slave = pty.openpty()
    asking = subprocess.Popen([query.program, "--port", query.port, "scale", "--set", "1014,998"],
                              stdin=slave, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              env=query.session.env)
    os.close(slave)
    asking.stderr.read(len("Write scale"))
    asking.send_signal(signal.SIGTERM)
    check(asking.wait(timeout=5) == 1, "SIGTERM at the question: exit %d" % asking.returncode)
    os.close(master)
    received = query.expect_failure(["--port", query.port, "scale", "--set", "1012,996"],
                                    "--yes writes without asking")
    check(writes(received) == [], "a write not asked sent %r" % received)
    query.run("--port", query.port, "scale", "--set", "1012,996", "--yes")


def a_journal_that_cannot_be_written_stops_the_write(query):
    """Unless --no-journal, which writes and warns."""
    blocked = os.path.join(query.session.runtime_dir, "not-a-folder")
    open(blocked, "w").close()
    env = dict(query.session.env, XDG_STATE_HOME=blocked)
    arguments = ["--port", query.port, "scale", "--set", "1012,996", "--yes"]
    sent = len(query.commands())
    done = query.run(*arguments, env=env)
    check(done.returncode == 1 and "scale journal cannot be written" in done.stderr and
          writes(query.commands()[sent:]) == [], "%r: exit %d, %r" % (
              arguments, done.returncode, done.stderr))
    done = query.run(*arguments, "--no-journal", env=env)
    check(done.returncode == 0 and "could not be written" in done.stderr,
          "--no-journal: exit %d, %r" % (done.returncode, done.stderr))


def every_test_cut_reaches_the_cutter(query):
    """What test-cut says it sent arrives, run after run: nothing is thrown away at close."""
    sent = len(query.commands())
    for run_number in range(50):
        done = query.run("--port", query.port, "test-cut", "--size", "50x40")
        check(done.returncode == 0, "test-cut %d: exit %d, %r" % (run_number, done.returncode,
                                                                  done.stderr))
    wait_until("50 test cuts", lambda: query.commands()[sent:].count(WINDOW_TEST_CUT[4]) == 50,
               20)


def restore_to_another_cutter_is_refused(query):
    """Another cutter behind the entry's port name keeps its own scale, unless --force."""
    done = query.run("--port", query.port, "scale", "--set", "1016,998", "--yes")
    check(done.returncode == 0, "scale --set: exit %d, %r" % (done.returncode, done.stderr))
    other = another_cutter(query, "--model", "TC-60", "--scale", "1016,998")
    other_port = other.usb or other.com
    sent = len(other.commands_received(other_port))
    query.expect_failure(["--port", other_port, "restore", "--entry",
                          str(len(history(query)[0])), "--yes"], "was written on %s" % query.port)
    received = other.commands_received(other_port)[sent:]
    check(writes(received) == [], "restore of another port's entry sent %r" % received)
    link = os.path.join(query.session.device_map, query.port)
    own = os.readlink(link)

    def point_port_at(device):
        os.symlink(device, link + ".new")
        os.replace(link + ".new", link)
    point_port_at(os.readlink(os.path.join(query.session.device_map, other_port)))
    try:
        sent = len(other.commands_received(other_port))
        done = query.run("--port", query.port, "restore", "--yes")
        check(done.returncode == 1 and "%s is now TC-60 " % query.port in done.stderr and
              "was written to TX-24 3.01" in done.stderr, "restore on another cutter: exit %d, %r"
              % (done.returncode, done.stderr))
        done = query.run("--port", query.port, "restore", "--yes", "--force")
        received = other.commands_received(other_port)[sent:]
        check(done.returncode == 0 and writes(received) == ["<ESC>.C6;1;1012:",
                                                            "<ESC>.C6;0;996:"],
              "restore --force: exit %d, %r, sent %r" % (done.returncode, done.stderr, received))
    finally:
        point_port_at(own)
    query.run("--port", query.port, "scale", "--set", "1012,996", "--yes")


def a_journal_that_is_no_file_is_refused(query):
    """history and a write end with the cause, never waiting on a FIFO or showing nothing."""
    state = os.path.join(query.session.runtime_dir, "odd-state")
    journal = os.path.join(state, "tessaro", "scale-journal.jsonl")
    os.makedirs(journal)
    env = dict(query.session.env, XDG_STATE_HOME=state)
    done = query.run("history", env=env)
    check(done.returncode == 1 and done.stdout == "" and journal in done.stderr,
          "history of a folder: exit %d, %r" % (done.returncode, done.stderr))
    os.rmdir(journal)
    os.mkfifo(journal)
    sent = len(query.commands())
    done = query.run("--port", query.port, "scale", "--set", "1013,997", "--yes", env=env)
    check(done.returncode == 1 and "not a regular file" in done.stderr and
          writes(query.commands()[sent:]) == [], "a FIFO journal: exit %d, %r" % (
              done.returncode, done.stderr))


def pty_cutter(session, name, replies):
    """A cutter on a pseudo-terminal linked into the device map as `name`, answering
    each command of `replies` with its bytes."""
    master, slave = pty.openpty()
    os.symlink(os.ttyname(slave), os.path.join(session.device_map, name))

    def answer(received=b""):
        while True:
            received += os.read(master, 256)
            for command in (c for c in replies if received.endswith(c)):
                os.write(master, replies[command])
                received = b""
    threading.Thread(target=answer, daemon=True).start()


def cutter_text_is_escaped(query):
    """Control bytes a cutter sends reach no terminal raw: \\xNN, CR as \\r. (A COM port
    is refused beside a USB cutter.)"""
    if not query.cutter.com:
        return
    pty_cutter(query.session, "COM240", {
        b"\x1b.R4:": b"0,0,TX\x1b[2J\x1b[?1049h\xe9,2.10 0305\r",
        b"\x1b.R1:": b"30,2\x1b[2J\r5,250,5,1,0,2\r"})
    done = query.run("--port", "COM240", "firmware")
    check(done.returncode == 0 and done.stdout == "Model: TX\\x1B[2J\\x1B[?1049h\u00e9\n"
          "Version: 2.10\nVersion Field: 2.10 0305\n", "firmware printed %r" % done.stdout)
    done = query.run("--port", "COM240", "settings")
    check(done.returncode == 1 and not re.search("[\x00-\x09\x0b-\x1f\x7f]", done.stderr),
          "settings told %r" % done.stderr)


# In order: the first step needs the cutter to be the only one.
STEPS = [finds_the_one_cutter_without_a_port, answers_what_the_cutter_holds,
         answers_on_a_device_path, answers_through_a_device_server, monitor_text_until_sigint,
         monitor_json_until_sigterm, monitor_tells_a_silence_and_goes_on,
         monitor_ends_when_the_port_is_gone, a_held_port_is_in_use,
         wrong_command_lines_are_usage_errors, a_silent_cutter_is_reported,
         a_short_answer_is_no_answer, monitor_json_until_sigquit, lost_output_is_exit_one,
         a_closed_pipe_leaves_the_port_usable, port_names_follow_one_rule,
         cutter_text_is_escaped, bash_completes, two_answering_cutters_are_listed,
         ports_lists_the_cutters, calibrate_then_restore_puts_the_flash_back,
         restore_after_a_change_elsewhere_is_refused, a_write_asks_on_a_terminal,
         a_journal_that_cannot_be_written_stops_the_write,
         a_cutter_that_ignores_the_write_is_journaled,
         a_write_killed_between_its_records_is_outcome_unknown, every_test_cut_reaches_the_cutter,
         restore_to_another_cutter_is_refused, a_journal_that_is_no_file_is_refused,
         a_planned_calibration_cuts_within_one_step]


# A cutter of another kind within the reply rules: its answers and its monitor.
KIND_STEPS = [answers_what_the_cutter_holds, monitor_text_until_sigint,
              a_reply_after_the_wait_is_no_answer_to_the_next_query]


def run(session, arguments):
    link = ["--com", "auto"] if arguments.link == "com" else ["--usb", "0"]
    kind = ["--fault", arguments.fault] if arguments.fault else []
    cutter = session.start_cutter(*link, *CUTTER, *kind)
    query = Query(arguments.query, session, cutter, cutter.com or cutter.usb)
    for step in KIND_STEPS if kind else STEPS:
        started = time.monotonic()
        step(query)
        print("ok   %s (%.1f s)" % (step.__name__, time.monotonic() - started))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--link", choices=["com", "usb"], required=True)
    parser.add_argument("--query", required=True)
    parser.add_argument("--fault", help="the cutter's kind: crlf, late:MS")
    sys.exit(main(run, parser, x_server=False))
