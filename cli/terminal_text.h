// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Text made safe for a terminal. Printable characters stay as they are: ASCII from space
// to '~', and from U+00A0 on every character Unicode counts as printable (Latin-1
// letters and signs among them). Every other byte is shown as \xNN: the C0 controls,
// DEL, the C1 controls U+0080 to U+009F (by their code, which is the cutter's byte),
// format characters, and bytes that are not UTF-8. CR is shown as \r. A backslash stays
// as it is, so text escaped once is unchanged by a second pass.

#include <string>
#include <string_view>

namespace cli {

enum TLineBreaks : bool { lbEscaped = false, lbKept = true };

// UTF-8 text (a message, a device path, a name typed on the command line).
std::string TerminalText(std::string_view utf8, TLineBreaks lineBreaks = lbEscaped);
// Bytes from the cutter, 8-bit characters, as UTF-8.
std::string CutterText(std::string_view latin1);

} // namespace cli
