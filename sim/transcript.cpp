// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/transcript.h"

#include <cstdio>

namespace sim {

std::string VisibleBytes(std::string_view bytes) {
    std::string text;
    for (char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code == 0x1B) {
            text += "<ESC>";
        } else if (code == '\r') {
            text += "<CR>";
        } else if (code == '\n') {
            text += "<LF>";
        } else if (code < 0x20 || code >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<0x%02X>", code);
            text += hex;
        } else {
            text.push_back(byte);
        }
    }
    return text;
}

std::string FormatEvent(const TCutterEvent& event) {
    switch (event.Kind) {
    case TEventKind::ekCommand:
        return "< " + VisibleBytes(event.Text);
    case TEventKind::ekReply:
        return "> " + VisibleBytes(event.Text);
    case TEventKind::ekCut:
    case TEventKind::ekFlashWrite:
        return "* " + VisibleBytes(event.Text);
    case TEventKind::ekIgnored:
        return "? " + VisibleBytes(event.Text);
    case TEventKind::ekLine:
        return "- " + VisibleBytes(event.Text);
    }
    return VisibleBytes(event.Text);
}

} // namespace sim
