// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/command_line.h"
#include "protocol/commands.h"
#include "session/cutter_session.h"

#include <QObject>

#include <chrono>
#include <functional>
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
// The session follows the shell's reply rule. A COM port is refused at once while a USB
// cutter is attached, as the window refuses it.
TQueryOutcome RunQuery(session::TCutterSession& session, TQueryCommand command,
                       std::chrono::milliseconds timeout);

// "no answer within 1.0 s": the time in seconds with one decimal.
std::string NoAnswerWithinText(std::chrono::milliseconds timeout);
// Why a reply is no answer, quoting what came (the caller's output escapes it).
std::string NotWholeText(protocol::TCommandCode query, const std::string& reply);

// Calls `fail` with the cause once a reply is not whole, the port is lost or refused, a
// handler failed, or `timeout` passed; the connections end with `loop`, their context.
void FailOnNoAnswer(session::TCutterSession& session, QObject& loop,
                    const std::function<void(const std::string&)>& fail,
                    std::chrono::milliseconds timeout);

} // namespace cli
