// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/query_run.h"

#include <QEventLoop>
#include <QTimer>

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
                       std::chrono::milliseconds timeLimit) {
    if (session.UsbBlocksComPort()) {
        return {false, session::kUsbCablePluggedText};
    }
    const TQueryOfCommand query = QueryOf(command);
    QEventLoop loop;
    TQueryOutcome outcome{false, "tessaro-query was ended before the cutter answered"};
    bool ended = false;
    const auto end = [&loop, &outcome, &ended](TQueryOutcome ending) {
        outcome = std::move(ending);
        ended = true;
        loop.quit();
    };
    const auto fail = [&end](const std::string& text) { end({false, text}); };
    // The connections end with the loop, their context.
    QObject::connect(&session, query.Reported, &loop, [&end] { end({true, {}}); });
    QObject::connect(&session, &session::TCutterSession::QuerySilent, &loop, fail);
    QObject::connect(&session, &session::TCutterSession::QueryRefused, &loop, fail);
    QObject::connect(&session, &session::TCutterSession::HandlerFailed, &loop, fail);
    QTimer::singleShot(timeLimit, &loop, [&end, timeLimit] {
        end({false, "no answer within " + std::to_string(timeLimit.count() / 1000) + " s"});
    });
    (session.*query.Send)();
    if (!ended) {
        loop.exec();
    }
    if (command == qcSettings) {
        session.StopMonitor();
    }
    return outcome;
}

} // namespace cli
