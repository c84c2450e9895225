#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks that every #include in the source folders runs the one way the folders allow.

Usage: include_directions.py --root SOURCE_ROOT --qt-headers QT_INCLUDE_DIR

Every C++ file outside tests/, bench/, fuzz/ and the build folders must lie in a folder
of FOLDERS. Its quoted includes must name a header its row allows (a folder ends in
'/'), and a Qt header it includes must come from a Qt module its row allows. FILES
widens a row for the few files that stand apart. Exits 1 and prints file:line, the
include and the rule broken.
"""
import argparse
import re
import sys
from collections import namedtuple
from pathlib import Path

Rule = namedtuple("Rule", "may_include qt_modules why")

ANY_QT = ("*",)
QT_CORE = ("QtCore",)
# What the virtual cutter and the Linux implementations may see of the link folder.
LINK_INTERFACE = (
    "link/serial_api.h",
    "link/usb_api.h",
    "link/port_sources.h",
    "link/device_map.h",
    "link/link_error.h",
)

FOLDERS = {
    "toolkit/": Rule(("toolkit/",), QT_CORE,
                     "the toolkit stands on Qt Core and std; widgets only in the prompts and the screen-reader tree"),
    "link/": Rule(("link/", "toolkit/"), QT_CORE,
                  "the port component stands on the toolkit, Qt Core and std"),
    "protocol/": Rule(("protocol/", "toolkit/conversions.h"), (),
                      "the protocol is pure functions on plain data"),
    "platform/linux/": Rule(("platform/linux/",) + LINK_INTERFACE, (),
                            "the Linux implementations see only the link interfaces, no Qt"),
    "sim/": Rule(("sim/",) + LINK_INTERFACE, (),
                 "the virtual cutter sees only the link interfaces, no Qt"),
    "session/": Rule(("session/", "protocol/", "link/", "toolkit/"), QT_CORE,
                     "the cutter session needs Qt Core only, and knows no window"),
    "app/": Rule(("app/", "session/", "protocol/", "link/", "toolkit/"), ANY_QT,
                 "the main window is a view of the session; only main() builds the dialogs"),
    "dialogs/": Rule(("dialogs/", "session/", "protocol/", "toolkit/"), ANY_QT,
                     "the dialogs are views of the session, given what they need by main()"),
    "cli/": Rule(("cli/", "session/", "protocol/", "link/", "toolkit/"), QT_CORE,
                 "tessaro-query is the session without a window: Qt Core only"),
}

FILES = {
    "toolkit/qt_prompts.h": Rule((), ("QtGui", "QtWidgets"),
                                 "the prompts' Qt implementation shows message boxes"),
    "toolkit/qt_prompts.cpp": Rule((), ("QtGui", "QtWidgets"),
                                   "the prompts' Qt implementation shows message boxes"),
    "toolkit/screen_reader_tree.h": Rule((), ("QtGui", "QtWidgets"),
                                         "what screen readers are shown of the windows"),
    "toolkit/screen_reader_tree.cpp": Rule((), ("QtGui", "QtWidgets"),
                                           "what screen readers are shown of the windows"),
    "app/main.cpp": Rule(("dialogs/", "platform/linux/"), (),
                         "main() chooses the Linux implementations and creates the wizard flow"),
    "cli/main.cpp": Rule(("platform/linux/",), (),
                         "main() chooses the Linux implementations"),
    "sim/vcutter_main.cpp": Rule(("platform/linux/port_table.h",), (),
                                 "the virtual cutter's main() numbers COM ports as Tessaro does"),
}

# Written into the build folder by the configuration; std only.
GENERATED = ("tessaro_version.h",)
UNCHECKED_FOLDERS = ("tests", "bench", "fuzz")
CPP_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def rule_for(relative):
    """The folder's row widened by the file's own, or None outside the table."""
    folder = next((f for f in FOLDERS if relative.startswith(f)), None)
    if folder is None:
        return None, None
    rule = FOLDERS[folder]
    extra = FILES.get(relative)
    if extra:
        rule = Rule(rule.may_include + extra.may_include, rule.qt_modules + extra.qt_modules,
                    extra.why)
    return folder, rule


def qt_module(header, qt_headers):
    """The Qt module an <...> header belongs to, or None for a header of no Qt module."""
    first, _, rest = header.partition("/")
    if rest:
        return first if first.startswith("Qt") else None
    for module_dir in sorted(qt_headers.glob("Qt*")):
        if (module_dir / header).is_file():
            return module_dir.name
    return None


def project_header(root, source, header):
    """The root-relative name of a quoted include, found beside the file first."""
    beside = (source.parent / header).resolve()
    if beside.is_file() and beside.is_relative_to(root):
        return beside.relative_to(root).as_posix()
    return header


def quoted_violation(root, source, header, folder, rule):
    name = project_header(root, source, header)
    if name in GENERATED or name.startswith(rule.may_include):
        return None
    return f'"{header}": {folder} may include {", ".join(rule.may_include)} ({rule.why})'


def qt_violation(header, qt_headers, folder, rule):
    module = qt_module(header, qt_headers)
    if module is None:
        # Qt's class headers are capitalised; std and system headers are not.
        return f"<{header}>: no Qt module has this header" if header.startswith("Q") else None
    if module in rule.qt_modules or "*" in rule.qt_modules:
        return None
    allowed = ", ".join(rule.qt_modules) or "no Qt"
    return f"<{header}> is {module}: {folder} may include {allowed} ({rule.why})"


def source_files(root):
    for path in sorted(root.rglob("*")):
        top = path.relative_to(root).parts[0]
        if path.suffix not in CPP_SUFFIXES or not path.is_file():
            continue
        if top in UNCHECKED_FOLDERS or top.startswith(("build", ".")):
            continue
        yield path


def violations(root, qt_headers):
    root = root.resolve()
    for source in source_files(root):
        relative = source.relative_to(root).as_posix()
        folder, rule = rule_for(relative)
        if rule is None:
            yield f"{relative}: lies in no folder of the include table"
            continue
        lines = source.read_text(encoding="utf-8", errors="replace").splitlines()
        for number, line in enumerate(lines, start=1):
            match = INCLUDE.match(line)
            if not match:
                continue
            quote, header = match.groups()
            if quote == '"':
                problem = quoted_violation(root, source, header, folder, rule)
            else:
                problem = qt_violation(header, qt_headers, folder, rule)
            if problem:
                yield f"{relative}:{number}: {problem}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", type=Path, required=True)
    parser.add_argument("--qt-headers", type=Path, required=True)
    arguments = parser.parse_args()
    if not (arguments.qt_headers / "QtCore").is_dir():
        sys.exit(f"{arguments.qt_headers}: holds no QtCore folder")
    found = list(violations(arguments.root, arguments.qt_headers))
    for violation in found:
        print(violation)
    if found:
        sys.exit(1)
    print("every include follows the folder table")


if __name__ == "__main__":
    main()
