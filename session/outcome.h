// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How a command or a query of the session fared, as one value: what kind of ending it
// was, and the text the operator is told. A send returns it; the session's one failure
// signal carries it.

#include <cstdint>
#include <string>

namespace session {

enum TOutcomeKind : std::uint8_t {
    okDone,         // written whole on the link
    okUsbBlocked,   // refused: a USB cutter is attached while a COM port is chosen
    okLinkNotReady, // not sent: the link could not be made ready (the silence box's text)
    okNotSent,      // not sent: the link did not take the command whole
    okSilent,       // a query the operator waits for ended unanswered
    okReplyRefused, // the reply was refused (why)
    okPortLost,     // shell's rule: the port did not open, or went away; everything ended
    okHandlerFailed // an error escaped a tick or a serial event; the session goes on
};

struct TOutcome {
    TOutcomeKind Kind = okDone;
    std::string Cause;

    bool Done() const { return Kind == okDone; }
};

} // namespace session
