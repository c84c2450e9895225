// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/command_line.h"
#include "cli/engine_wait.h"
#include "session/cutter_session.h"

#include <chrono>
#include <string>

namespace cli {

// How one query ended: answered by a whole reply (its values are in the session's
// Settings()), or not, with the cause.
struct TQueryOutcome {
    bool Answered = false;
    std::string Failure;
};

// Sends the query of `command` (size, settings, firmware or scale) on the session's port
// and runs the event loop until the session reports a whole reply, a reply that is not
// whole or a lost port, or `timeout` passes; the session is left with nothing under way.
// The session follows the shell's reply rule: it refuses a COM port at once while a USB
// cutter is attached, as the window refuses it.
TQueryOutcome RunQuery(session::TCutterSession& session, TQueryCommand command,
                       std::chrono::milliseconds timeout);

} // namespace cli
