#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Each rule of the include check catches its wrong-way include, in a tree of its own."""
import tempfile
import unittest
from pathlib import Path

import include_directions

# (file, include line, whether the check must object)
CASES = (
    ("sim/a.cpp", '#include "toolkit/timer.h"', True),
    ("sim/a.cpp", '#include "protocol/commands.h"', True),
    ("sim/a.cpp", '#include "link/comm.h"', True),
    ("sim/a.cpp", "#include <QObject>", True),
    ("sim/a.cpp", "#include <qobject.h>", True),
    ("sim/a.cpp", "#include <queue>", False),
    ("sim/a.cpp", "#include <sys/ioctl.h>", False),
    ("sim/a.cpp", '#include "../toolkit/timer.h"', True),
    ("sim/a.cpp", '#include "link/serial_api.h"', False),
    ("sim/a.cpp", '#include "cutter_model.h"', False),
    ("platform/linux/a.cpp", '#include "link/comm.h"', True),
    ("platform/linux/a.cpp", '#include "link/device_map.h"', False),
    ("protocol/a.cpp", '#include "toolkit/timer.h"', True),
    ("protocol/a.cpp", '#include "link/serial_api.h"', True),
    ("link/a.cpp", "#include <QWidget>", True),
    ("link/a.cpp", "#include <QtWidgets/QWidget>", True),
    ("link/a.cpp", "#include <QObject>", False),
    ("link/a.cpp", '#include "app/main_form.h"', True),
    ("toolkit/timer.h", "#include <QWidget>", True),
    ("toolkit/qt_prompts.cpp", "#include <QWidget>", False),
    ("toolkit/a.cpp", "#include <QNoSuchHeader>", True),
    ("session/a.cpp", "#include <QObject>", False),
    ("session/a.cpp", "#include <QWidget>", True),
    ("session/a.cpp", "#include <QtGui/QFont>", True),
    ("session/a.cpp", '#include "app/main_form.h"', True),
    ("session/a.cpp", '#include "dialogs/wizard_flow.h"', True),
    ("session/a.cpp", '#include "link/comm.h"', False),
    ("app/main_form.cpp", '#include "session/cutter_session.h"', False),
    ("app/main_form.cpp", '#include "platform/linux/serial_port.h"', True),
    ("app/main_form.cpp", '#include "dialogs/wizard_flow.h"', True),
    ("app/main.cpp", '#include "platform/linux/serial_port.h"', False),
    ("app/main.cpp", '#include "tessaro_version.h"', False),
    ("cli/a.cpp", '#include "session/cutter_session.h"', False),
    ("cli/a.cpp", "#include <QObject>", False),
    ("cli/a.cpp", "#include <QWidget>", True),
    ("cli/a.cpp", '#include "app/main_form.h"', True),
    ("cli/a.cpp", '#include "platform/linux/serial_port.h"', True),
    ("cli/main.cpp", '#include "platform/linux/serial_port.h"', False),
    ("app/main.cpp", '#include "dialogs/wizard_flow.h"', False),
    ("dialogs/a.cpp", '#include "app/main_form.h"', True),
    ("dialogs/a.cpp", '#include "app/window_look.h"', True),
    ("dialogs/a.cpp", '#include "session/cutter_session.h"', False),
    ("dialogs/a.cpp", '#include "platform/linux/serial_port.h"', True),
    ("dialogs/a.cpp", '#include "sim/cutter_model.h"', True),
    ("engine/a.cpp", '#include "app/main_form.h"', True),
    ("tests/a.cpp", '#include "platform/linux/serial_port.h"', False),
)


class IncludeDirections(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory()
        self.root = Path(self.scratch.name) / "tree"
        self.qt_headers = Path(self.scratch.name) / "qt"
        for header in ("QtCore/QObject", "QtCore/qobject.h", "QtWidgets/QWidget"):
            self.write(self.qt_headers / header, "")
        self.write(self.root / "sim/cutter_model.h", "")

    def tearDown(self):
        self.scratch.cleanup()

    @staticmethod
    def write(path, text):
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)

    def test_each_rule_catches_its_wrong_way_include(self):
        for file, include, objects in CASES:
            with self.subTest(file=file, include=include):
                self.write(self.root / file, f"// one line before\n{include}\n")
                found = list(include_directions.violations(self.root, self.qt_headers))
                (self.root / file).unlink()
                if objects:
                    self.assertEqual(len(found), 1, found)
                    # file:line of the include, or the file alone when its folder is unknown
                    self.assertIn(found[0].split(" ")[0], (f"{file}:2:", f"{file}:"))
                else:
                    self.assertEqual(found, [])


if __name__ == "__main__":
    unittest.main()
