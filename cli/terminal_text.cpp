// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_text.h"

#include "session/cutter_session.h"

#include <QChar>

#include <cstdio>

namespace cli {

namespace {

void AppendEscaped(std::string& text, unsigned code) {
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", code & 0xFFU);
    text += escaped;
}

// The length of the UTF-8 sequence at the start of `bytes` and its code point; 0 when
// the bytes there are no well-formed sequence (overlong forms and surrogates included).
std::size_t DecodeSequence(std::string_view bytes, char32_t& code) {
    const auto lead = static_cast<unsigned char>(bytes.front());
    const std::size_t length = lead >= 0xF0 && lead <= 0xF4  ? 4
                               : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xC2 && lead < 0xE0 ? 2
                                                             : 0;
    if (length == 0 || bytes.size() < length) {
        return 0;
    }
    code = lead & (0x7FU >> length);
    for (std::size_t index = 1; index < length; ++index) {
        const auto next = static_cast<unsigned char>(bytes[index]);
        if ((next & 0xC0U) != 0x80U) {
            return 0;
        }
        code = (code << 6) | (next & 0x3FU);
    }
    constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool wellFormed =
        code >= kShortest[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    return wellFormed ? length : 0;
}

} // namespace

std::string TerminalText(std::string_view utf8, TLineBreaks lineBreaks) {
    std::string text;
    text.reserve(utf8.size());
    while (!utf8.empty()) {
        const auto byte = static_cast<unsigned char>(utf8.front());
        if (byte < 0x80) {
            if ((byte >= 0x20 && byte < 0x7F) || (byte == '\n' && lineBreaks == lbKept)) {
                text += char(byte);
            } else if (byte == '\r') {
                text += "\\r";
            } else {
                AppendEscaped(text, byte);
            }
            utf8.remove_prefix(1);
            continue;
        }
        char32_t code = 0;
        const std::size_t length = DecodeSequence(utf8, code);
        if (length == 0) {
            AppendEscaped(text, byte);
            utf8.remove_prefix(1);
            continue;
        }
        if (code >= 0xA0 && QChar::isPrint(code)) {
            text += utf8.substr(0, length);
        } else if (code < 0x100) {
            AppendEscaped(text, unsigned(code));
        } else {
            for (const char sequenceByte : utf8.substr(0, length)) {
                AppendEscaped(text, static_cast<unsigned char>(sequenceByte));
            }
        }
        utf8.remove_prefix(length);
    }
    return text;
}

std::string CutterText(std::string_view latin1) {
    return TerminalText(session::Latin1ToUtf8(latin1));
}

} // namespace cli
