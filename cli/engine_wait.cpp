// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/engine_wait.h"

#include "protocol/queries.h"
#include "protocol/reply_decoding.h"

#include <QTimer>

namespace cli {

namespace {

// A reply flooding the line is quoted up to here.
constexpr std::size_t kQuotedReplyLimit = 200;

} // namespace

void TEngineWait::End(std::optional<std::string> cause) {
    FCause = std::move(cause);
    FEnded = true;
    FLoop.quit();
}

void TEngineWait::FailOnSession(session::TCutterSession& session) {
    using session::TCutterSession;
    QObject::connect(&session, &TCutterSession::ReplyNotWhole, &FLoop,
                     [this](protocol::TCommandCode code, const std::string& reply) {
                         Fail(NotWholeText(code, reply));
                     });
    QObject::connect(&session, &TCutterSession::Failed, &FLoop,
                     [this](const session::TOutcome& failure) { Fail(failure.Cause); });
}

std::optional<std::string> TEngineWait::Run(const std::function<void()>& start,
                                            std::optional<std::chrono::milliseconds> timeout,
                                            const std::function<void()>& onTimeout) {
    FEnded = false;
    FCause = FEndedText;
    QTimer limit;
    limit.setSingleShot(true);
    if (timeout) {
        QObject::connect(&limit, &QTimer::timeout, &FLoop, [this, &onTimeout, timeout] {
            if (onTimeout) {
                onTimeout();
            } else {
                Fail(NoAnswerWithinText(*timeout));
            }
        });
        limit.start(*timeout);
    }
    start();
    if (!FEnded) {
        FLoop.exec();
    }
    return FCause;
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
