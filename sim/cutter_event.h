// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace sim {

// One thing the cutter did, in the order it happened; the transcript is made of these.
enum class TEventKind {
    ekCommand,    // a complete command as received; Text holds its bytes
    ekReply,      // a reply the cutter answers with; Text holds its bytes
    ekCut,        // a finished cut; Text describes it
    ekFlashWrite, // a scale value stored in flash; Text describes it
    ekIgnored,    // input the cutter did not understand; Text says what and why
    ekLine,       // a change on the line (hang-up, host closed the port); Text describes it
};

struct TCutterEvent {
    TEventKind Kind;
    std::string Text;

    bool operator==(const TCutterEvent&) const = default;
};

using TCutterEvents = std::vector<TCutterEvent>;

} // namespace sim
