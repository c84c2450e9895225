#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Fails when a program's --help and its man page's OPTIONS name different options.

Usage: help_matches_man.py PROGRAM MAN_PAGE [PROGRAM MAN_PAGE]...

An option is any word that starts with one or two dashes, in the whole --help text and
in the OPTIONS section of the page (its roff escapes read as the dashes they print).
"""
import re
import subprocess
import sys

OPTION = re.compile(r"(?<![\w-])--?[A-Za-z][\w-]*")
ROFF_ESCAPE = re.compile(r"\\f[BIRP]|\\&|\\\(\w\w")


def help_options(program):
    shown = subprocess.run([program, "--help"], check=True, capture_output=True, text=True,
                           timeout=30)
    return set(OPTION.findall(shown.stdout))


def man_options(page):
    section, lines = None, []
    with open(page, encoding="utf-8") as text:
        for line in text:
            if line.startswith(".SH"):
                section = line[3:].strip().strip('"')
            elif section == "OPTIONS":
                lines.append(ROFF_ESCAPE.sub("", line.replace("\\-", "-")))
    return set(OPTION.findall("".join(lines)))


def main():
    failed = len(sys.argv) < 3 or len(sys.argv) % 2 == 0
    for program, page in zip(sys.argv[1::2], sys.argv[2::2]):
        shown, documented = help_options(program), man_options(page)
        for side, missing in (("--help", documented - shown), ("the man page", shown - documented)):
            if missing or not shown:
                failed = True
                print("%s: %s does not name %s" % (program, side, ", ".join(sorted(missing))))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
