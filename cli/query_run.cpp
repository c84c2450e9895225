// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/query_run.h"

namespace cli {

namespace {

// The sender of a command's query, and the signal that reports its reply.
struct TQueryOfCommand {
    void (session::TCutterSession::*Send)();
    void (session::TCutterSession::*Reported)();
};

TQueryOfCommand QueryOf(TQueryCommand command) {
    using session::TCutterSession;
    switch (command) {
    case qcSize:
        return {&TCutterSession::PollSize, &TCutterSession::SizeReported};
    case qcFirmware:
        return {&TCutterSession::SendFirmwareQuery, &TCutterSession::FirmwareReported};
    case qcScale:
        return {&TCutterSession::SendScaleQuery, &TCutterSession::ScaleReported};
    default: // the settings are read by the monitor's first round; the run stops it again
        return {&TCutterSession::StartMonitor, &TCutterSession::SettingsReported};
    }
}

} // namespace

TQueryOutcome RunQuery(session::TCutterSession& session, TQueryCommand command,
                       std::chrono::milliseconds timeout) {
    const TQueryOfCommand query = QueryOf(command);
    TEngineWait wait;
    QObject::connect(&session, query.Reported, wait.Context(), [&wait] { wait.Answer(); });
    wait.FailOnSession(session);
    const std::optional<std::string> failure = wait.Run([&] { (session.*query.Send)(); }, timeout);
    session.AbandonQueries();
    return {!failure, failure.value_or(std::string())};
}

} // namespace cli
