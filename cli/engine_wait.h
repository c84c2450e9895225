// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// tessaro-query's one way of waiting for the session: the event loop runs until a handler
// ends the wait (the session answered, or failed), the time limit passes, or a termination
// signal ends every event loop (a loop started after one ends at once).

#include "protocol/commands.h"
#include "session/cutter_session.h"

#include <QEventLoop>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace cli {

inline constexpr const char* kEndedBeforeAnswerText =
    "tessaro-query was ended before the cutter answered";

// "no answer within 1.0 s": the time in seconds with one decimal.
std::string NoAnswerWithinText(std::chrono::milliseconds timeout);
// Why a reply is no answer, quoting what came (the caller's output escapes it).
std::string NotWholeText(protocol::TCommandCode query, const std::string& reply);

class TEngineWait {
public:
    // `endedText`: the cause when a termination signal ends the wait.
    explicit TEngineWait(std::string endedText = kEndedBeforeAnswerText)
        : FEndedText(std::move(endedText)) {}

    // The context of the connections that end the wait: they end with it.
    QObject* Context() { return &FLoop; }
    void Answer() { End(std::nullopt); }
    void Fail(const std::string& cause) { End(cause); }
    // Fails with the session's failures and with a reply that is not whole.
    void FailOnSession(session::TCutterSession& session);

    // Calls `start`, then runs the event loop unless the wait has ended already. Returns
    // nothing once answered, else the cause. At `timeout` the wait fails with "no answer
    // within ...", or `onTimeout` is called instead; without a timeout it waits on.
    std::optional<std::string> Run(const std::function<void()>& start,
                                   std::optional<std::chrono::milliseconds> timeout,
                                   const std::function<void()>& onTimeout = {});

private:
    void End(std::optional<std::string> cause);

    QEventLoop FLoop;
    std::string FEndedText;
    bool FEnded = false;
    std::optional<std::string> FCause;
};

} // namespace cli
