#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Fails when a program needs a Qt or OpenGL library at run time.

Usage: needed_libraries_check.py PROGRAM

Reads the NEEDED entries of the program's dynamic section with `readelf -d`: a std-only
program that names libQt6* or libGL* there has pulled the toolkit in through a link.
"""
import re
import subprocess
import sys

FORBIDDEN = re.compile(r"^lib(Qt\d|GL|OpenGL|EGL)")
NEEDED_ENTRY = re.compile(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]")


def needed_libraries(program):
    dynamic_section = subprocess.run(
        ["readelf", "-d", program], check=True, capture_output=True, text=True
    ).stdout
    return NEEDED_ENTRY.findall(dynamic_section)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: needed_libraries_check.py PROGRAM")
    program = sys.argv[1]
    libraries = needed_libraries(program)
    # Every dynamically linked program needs libc: no entries means the output was misread.
    if not libraries:
        sys.exit(f"{program}: readelf -d listed no NEEDED entries")
    forbidden = [library for library in libraries if FORBIDDEN.match(library)]
    for library in forbidden:
        print(f"{program}: needs {library} at run time; it must link no Qt or OpenGL")
    if forbidden:
        sys.exit(1)
    print(f"{program}: needs {', '.join(libraries)}")


if __name__ == "__main__":
    main()
