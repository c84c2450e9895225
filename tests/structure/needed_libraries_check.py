#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Fails when a program needs a Qt or OpenGL library at run time.

Usage: needed_libraries_check.py [--qt-core] PROGRAM

Reads the NEEDED entries of the program's dynamic section with `readelf -d`: a std-only
program that names libQt6* or libGL* there has pulled the toolkit in through a link.
With --qt-core the program may need Qt Core, but nothing of Gui, Widgets or OpenGL.
"""
import re
import subprocess
import sys

FORBIDDEN = re.compile(r"^lib(Qt\d|GL|OpenGL|EGL)")
FORBIDDEN_BESIDE_CORE = re.compile(r"^lib(Qt\d(?!Core\.)|GL|OpenGL|EGL)")
NEEDED_ENTRY = re.compile(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]")


def needed_libraries(program):
    dynamic_section = subprocess.run(
        ["readelf", "-d", program], check=True, capture_output=True, text=True
    ).stdout
    return NEEDED_ENTRY.findall(dynamic_section)


def main():
    arguments = sys.argv[1:]
    core_allowed = arguments[:1] == ["--qt-core"]
    if core_allowed:
        arguments = arguments[1:]
    if len(arguments) != 1:
        sys.exit("usage: needed_libraries_check.py [--qt-core] PROGRAM")
    program = arguments[0]
    forbidden_name = FORBIDDEN_BESIDE_CORE if core_allowed else FORBIDDEN
    libraries = needed_libraries(program)
    # Every dynamically linked program needs libc: no entries means the output was misread.
    if not libraries:
        sys.exit(f"{program}: readelf -d listed no NEEDED entries")
    forbidden = [library for library in libraries if forbidden_name.match(library)]
    allowed = "Qt Core alone" if core_allowed else "no Qt or OpenGL"
    for library in forbidden:
        print(f"{program}: needs {library} at run time; it must link {allowed}")
    if forbidden:
        sys.exit(1)
    print(f"{program}: needs {', '.join(libraries)}")


if __name__ == "__main__":
    main()
