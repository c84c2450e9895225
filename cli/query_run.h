// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/command_line.h"
#include "session/cutter_session.h"

#include <chrono>
#include <string>

namespace cli {

// How one query ended: answered (its values are in the session's Settings()), or not,
// with what the window's box would have said.
struct TQueryOutcome {
    bool Answered = false;
    std::string Failure;
};

// Far beyond any exchange the session finishes on its own; it ends even a session that
// stopped ticking.
inline constexpr std::chrono::milliseconds kQueryTimeLimit{30000};

// Sends the query of `command` (size, settings, firmware or scale) on the session's port
// and runs the event loop until the session reports the reply, the silence or the refusal.
// A COM port is refused at once while a USB cutter is attached, as the window refuses it.
TQueryOutcome RunQuery(session::TCutterSession& session, TQueryCommand command,
                       std::chrono::milliseconds timeLimit = kQueryTimeLimit);

} // namespace cli
