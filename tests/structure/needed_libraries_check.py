#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Fails when a program needs a Qt or OpenGL library at run time.

Usage: needed_libraries_check.py [--qt-core] PROGRAM

Reads the NEEDED entries of the program's dynamic section with `readelf -d`: a std-only
program that names libQt6* or libGL* there has pulled the toolkit in through a link. With
--qt-core the program may need Qt Core, and nothing else of Qt: a program without a
display that names libQt6Gui or libQt6Widgets would still ask for a display's libraries.
"""
import re
import subprocess
import sys

FORBIDDEN = re.compile(r"^lib(Qt\d|GL|OpenGL|EGL)")
QT_CORE = re.compile(r"^libQt6Core\.so")
NEEDED_ENTRY = re.compile(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]")


def needed_libraries(program):
    dynamic_section = subprocess.run(
        ["readelf", "-d", program], check=True, capture_output=True, text=True
    ).stdout
    return NEEDED_ENTRY.findall(dynamic_section)


def main():
    arguments = sys.argv[1:]
    qt_core = arguments[:1] == ["--qt-core"]
    if len(arguments) != 1 + qt_core:
        sys.exit("usage: needed_libraries_check.py [--qt-core] PROGRAM")
    program = arguments[-1]
    libraries = needed_libraries(program)
    # Every dynamically linked program needs libc: no entries means the output was misread.
    if not libraries:
        sys.exit(f"{program}: readelf -d listed no NEEDED entries")
    forbidden = [library for library in libraries
                 if FORBIDDEN.match(library) and not (qt_core and QT_CORE.match(library))]
    allowed = "no Qt library but Qt Core, and no OpenGL" if qt_core else "no Qt or OpenGL"
    for library in forbidden:
        print(f"{program}: needs {library} at run time; it must link {allowed}")
    if forbidden:
        sys.exit(1)
    print(f"{program}: needs {', '.join(libraries)}")


if __name__ == "__main__":
    main()
