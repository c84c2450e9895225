# SPDX-License-Identifier: GPL-3.0-or-later
"""Tessaro as a screen reader meets it: its windows on the AT-SPI bus, read and pressed.

A driver calls enter_dbus_session() first: it runs the driver again in a D-Bus session of
its own with Qt's accessibility bridge on, or skips it (exit code 77) where dbus-run-session,
the AT-SPI registry or pyatspi is missing. Reader then finds tessaro on the bus.
"""

import os
import shutil
import subprocess
import sys

from tessaro_session import SKIP_RETURN_CODE, Failure, wait_until

UNDER_DBUS = "TESSARO_E2E_UNDER_DBUS"
# pyatspi comes with the system's Python; another interpreter first in PATH lacks it.
SYSTEM_PYTHON = "/usr/bin/python3"


def reads_as(seen, expected):
    """Whether the (role, name) pairs seen are those expected, where a name None stands for
    any text but an empty one."""
    return len(seen) == len(expected) and all(
        part and role == want_role and (name == want_name if want_name is not None else name)
        for part, (want_role, want_name) in zip(seen, expected)
        for role, name in [part or (None, None)])


def enter_dbus_session():
    """Runs this program again in a D-Bus session of its own, or exits with the skip code
    where the session bus, the AT-SPI registry or pyatspi is missing."""
    if os.environ.get(UNDER_DBUS):
        return
    try:
        import pyatspi  # noqa: F401
        python = sys.executable
    except ImportError:
        python = SYSTEM_PYTHON
        if not os.path.exists(python) or subprocess.run(
                [python, "-c", "import pyatspi"], capture_output=True).returncode != 0:
            print("pyatspi is not installed: skipped")
            sys.exit(SKIP_RETURN_CODE)
    if shutil.which("dbus-run-session") is None or not os.path.exists(
            "/usr/libexec/at-spi-bus-launcher"):
        print("dbus-run-session or at-spi2-core is not installed: skipped")
        sys.exit(SKIP_RETURN_CODE)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    env[UNDER_DBUS] = "1"
    sys.exit(subprocess.run(["dbus-run-session", "--", python] + sys.argv,
                            env=env).returncode)


class Reader:
    """What a screen reader reads of tessaro: its windows on the AT-SPI bus."""

    def __init__(self):
        import pyatspi
        self.atspi = pyatspi
        self.app = wait_until("tessaro on the accessibility bus", self.find_application, 20)

    def find_application(self):
        desktop = self.atspi.Registry.getDesktop(0)
        return next((app for app in desktop if app is not None and app.name == "Tessaro"),
                    None)

    def shown(self, node):
        return node is not None and node.getState().contains(self.atspi.STATE_SHOWING)

    def windows(self):
        self.app.clearCache()
        return [window for window in self.app if self.shown(window)]

    def contents(self, window):
        """The window and everything shown in it, in tree order, as (role, name); a part
        that is not shown is left out with all it holds."""
        found = [(window.getRoleName(), window.name)]
        for child in window:
            if self.shown(child):
                found += self.contents(child)
        return found

    def first(self, window, wanted):
        """The first shown part of the window, the window included, that is `wanted`."""
        if wanted(window):
            return window
        for child in window:
            found = self.first(child, wanted) if self.shown(child) else None
            if found:
                return found
        return None

    def find(self, window, role, name):
        return self.first(window, lambda part: (part.getRoleName(), part.name) == (role, name))

    def press(self, window, role, name):
        """Presses a control by its action, as a screen reader's user does."""
        control = self.find(window, role, name)
        if control is None:
            raise Failure("no %s %r to press in %r" % (role, name, self.contents(window)))
        action = control.queryAction()
        action.doAction(next(index for index in range(action.nActions)
                             if action.getName(index) == "Press"))

    def focused(self, window):
        """The role and name of the part that has the keyboard focus, or None."""
        part = self.first(window, lambda part: part.getState().contains(
            self.atspi.STATE_FOCUSED))
        return part and (part.getRoleName(), part.name)

    def expect_window(self, what, expected, newest=True):
        """Waits for the newest shown window (the first with newest=False) to read as
        `expected`; returns it."""
        seen = []

        def matches():
            windows = self.windows()
            if not windows:
                return None
            window = windows[-1] if newest else windows[0]
            seen[:] = self.contents(window)
            return window if reads_as(seen, expected) else None

        try:
            window = wait_until(what, matches, 15)
        except Failure:
            raise Failure("%s reads\n  %s\nwant\n  %s" % (what, seen, expected))
        print("ok   %s: %d parts named" % (what, len(expected)))
        return window
