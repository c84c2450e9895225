// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/query_run.h"

#include "protocol/queries.h"
#include "protocol/reply_decoding.h"

#include <QEventLoop>
#include <QTimer>

namespace cli {

namespace {

// A reply flooding the line is quoted up to here.
constexpr std::size_t kQuotedReplyLimit = 200;

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
    FailOnNoAnswer(session, loop, fail, timeout);
    (session.*query.Send)();
    if (!ended) {
        loop.exec();
    }
    session.AbandonQueries();
    return outcome;
}

void FailOnNoAnswer(session::TCutterSession& session, QObject& loop,
                    const std::function<void(const std::string&)>& fail,
                    std::chrono::milliseconds timeout) {
    using session::TCutterSession;
    QObject::connect(&session, &TCutterSession::ReplyNotWhole, &loop,
                     [fail](protocol::TCommandCode code, const std::string& reply) {
                         fail(NotWholeText(code, reply));
                     });
    QObject::connect(&session, &TCutterSession::PortLost, &loop, fail);
    QObject::connect(&session, &TCutterSession::QueryRefused, &loop, fail);
    QObject::connect(&session, &TCutterSession::HandlerFailed, &loop, fail);
    QTimer::singleShot(timeout, &loop, [fail, timeout] { fail(NoAnswerWithinText(timeout)); });
}

std::string NoAnswerWithinText(std::chrono::milliseconds timeout) {
    const long long tenths = (timeout.count() + 50) / 100;
    return "no answer within " + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) +
           " s";
}

std::string NotWholeText(protocol::TCommandCode query, const std::string& reply) {
    std::string quoted = reply.substr(0, kQuotedReplyLimit);
    if (reply.size() > kQuotedReplyLimit) {
        quoted += "... (" + std::to_string(reply.size()) + " bytes)";
    }
    return "the answer was not one whole " + std::string(protocol::QueryOf(query).ReplyKind) +
           " reply (" + protocol::ReplyFaultText(protocol::ReplyFault(query, reply)) + "): '" +
           quoted + "'";
}

} // namespace cli
