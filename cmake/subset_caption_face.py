#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Cuts the caption face down to what Tessaro draws with it, for the program to carry.

Usage: subset_caption_face.py FONT FACE_INDEX OUTPUT SOURCE...

Keeps the printable Latin-1 characters (the panel's Latin texts and the cutter's bytes,
shown as Latin-1) and every other character that a string literal of the SOURCE files
holds (the full-width colon, the log's Chinese prefixes), and renames the face, so that it
never stands in for the installed original. Takes the face's own timestamps and nothing
of the build's: two builds give the same bytes.
"""

import re
import sys

from fontTools import subset
from fontTools.ttLib import TTFont

FAMILY = "Tessaro Caption Mono"
LATIN_1 = list(range(0x20, 0x7F)) + list(range(0xA0, 0x100))
STRING_LITERAL = re.compile(r'"(?:[^"\\\n]|\\.)*"')
# Apache-2.0, section 4(b): a changed font says so.
NOTICE = ("Subset of WenQuanYi Micro Hei Mono, renamed, made for Tessaro: only the "
          "characters Tessaro draws with it.")


def characters_in_texts(sources):
    """Every character beyond ASCII in the string literals of the sources, sorted."""
    found = set()
    for source in sources:
        with open(source, encoding="utf-8") as text:
            for literal in STRING_LITERAL.findall(text.read()):
                found.update(ord(char) for char in literal if ord(char) > 0x7E)
    return sorted(found)


def rename(font):
    names = font["name"]
    for name_id, value in ((1, FAMILY), (3, FAMILY), (4, FAMILY),
                           (6, FAMILY.replace(" ", "")), (10, NOTICE)):
        names.setName(value, name_id, 3, 1, 0x409)
    names.names = [name for name in names.names
                   if name.platformID == 3 and name.langID == 0x409 and name.nameID not in (16, 18)]


def main(font_path, face_index, output, *sources):
    options = subset.Options()
    options.font_number = int(face_index)
    options.name_IDs = ["*"]
    options.drop_tables += ["FFTM"]
    font = subset.load_font(font_path, options)
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=LATIN_1 + characters_in_texts(sources))
    subsetter.subset(font)
    rename(font)
    subset.save_font(font, output, options)


if __name__ == "__main__":
    if len(sys.argv) < 4:
        sys.exit(__doc__.split("\n\n")[1])
    main(*sys.argv[1:])
