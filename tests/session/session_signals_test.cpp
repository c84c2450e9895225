// SPDX-License-Identifier: GPL-3.0-or-later
// What the session reports of each query: a reply decoded whole is reported by that
// query's own signal, once the query has ended; a silent cutter or a reply that does not
// decode reports none of them.

#include "session/cutter_session.h"
#include "tests/support/session_bench.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace session::test {
namespace {

using TSignal = void (TCutterSession::*)();

struct TQueryRow {
    const char* Name;
    void (TCutterSession::*Start)();
    TSignal Reported;
    protocol::TCommandCode Code;
};

const TQueryRow kQueries[] = {
    {"size", &TCutterSession::PollSize, &TCutterSession::SizeReported, protocol::ccPollSize},
    {"settings", &TCutterSession::StartMonitor, &TCutterSession::SettingsReported,
     protocol::ccSettingsQuery},
    {"firmware", &TCutterSession::SendFirmwareQuery, &TCutterSession::FirmwareReported,
     protocol::ccFirmwareQuery},
    {"scale", &TCutterSession::SendScaleQuery, &TCutterSession::ScaleReported,
     protocol::ccScaleQuery},
};

// Counts every reporting signal by the name of the query it belongs to; the monitor's
// start under its own name.
class TReportCounter {
public:
    explicit TReportCounter(TCutterSession& session) {
        for (const TQueryRow& row : kQueries) {
            QObject::connect(&session, row.Reported, [this, name = row.Name] { ++Counts[name]; });
        }
        QObject::connect(&session, &TCutterSession::MonitorStarted,
                         [this] { ++Counts["monitor started"]; });
        QObject::connect(&session, &TCutterSession::SizeReported,
                         [this, &session] { LinkOpenAtReport = session.LinkOpen(); });
    }
    std::map<std::string, int> Counts;
    bool LinkOpenAtReport = true;
};

TEST(SessionSignals, EachAnsweredQueryIsReportedByItsOwnSignalOnly) {
    for (const TQueryRow& row : kQueries) {
        SCOPED_TRACE(row.Name);
        testsupport::TSessionBench bench;
        TReportCounter counter(bench.Session);
        (bench.Session.*row.Start)();
        bench.Answer();
        std::map<std::string, int> expected{{row.Name, 1}};
        if (row.Code == protocol::ccSettingsQuery) {
            expected["monitor started"] = 1;
        }
        EXPECT_EQ(counter.Counts, expected);
    }
}

TEST(SessionSignals, SizeIsReportedWithItsLinkAlreadyClosed) {
    testsupport::TSessionBench bench;
    TReportCounter counter(bench.Session);
    bench.Session.PollSize();
    bench.Answer();
    ASSERT_EQ(counter.Counts["size"], 1);
    EXPECT_FALSE(counter.LinkOpenAtReport);
}

TEST(SessionSignals, SilenceAndAReplyThatDoesNotDecodeReportNothing) {
    for (const TQueryRow& row : kQueries) {
        SCOPED_TRACE(row.Name);
        testsupport::TSessionBench silent;
        TReportCounter silentCounter(silent.Session);
        silent.Session.StageQueryForTests(row.Code);
        silent.Tick(11);
        EXPECT_EQ(silentCounter.Counts, (std::map<std::string, int>{}));

        testsupport::TSessionBench garbled;
        TReportCounter garbledCounter(garbled.Session);
        garbled.Session.StageQueryForTests(row.Code);
        garbled.Session.StageReplyTextForTests("0,x,x,x,x,x,x,x\r");
        garbled.Tick(11);
        // The firmware reply converts nothing, so any reply is a whole one.
        const std::map<std::string, int> expected = row.Code == protocol::ccFirmwareQuery
                                                        ? std::map<std::string, int>{{row.Name, 1}}
                                                        : std::map<std::string, int>{};
        EXPECT_EQ(garbledCounter.Counts, expected);
    }
}

} // namespace
} // namespace session::test
