// SPDX-License-Identifier: GPL-3.0-or-later
// A reply decoded whole is reported by its query's own signal; silence or a reply that
// does not decode reports none.

#include "tests/session/session_test_support.h"

#include <map>
#include <string>

namespace session::test {
namespace {

using ::testing::IsEmpty;

const struct TQueryRow {
    const char* Name;
    void (TCutterSession::*Start)();
    void (TCutterSession::*Reported)();
    protocol::TCommandCode Code;
} kQueries[] = {
    {"size", &TCutterSession::PollSize, &TCutterSession::SizeReported, protocol::ccPollSize},
    {"settings", &TCutterSession::StartMonitor, &TCutterSession::SettingsReported,
     protocol::ccSettingsQuery},
    {"firmware", &TCutterSession::SendFirmwareQuery, &TCutterSession::FirmwareReported,
     protocol::ccFirmwareQuery},
    {"scale", &TCutterSession::SendScaleQuery, &TCutterSession::ScaleReported,
     protocol::ccScaleQuery},
};

using TCounts = std::map<std::string, int>;

// Every reporting signal counted under its query's name, the monitor's start under its own.
void CountReports(TCutterSession& session, TCounts& counts) {
    for (const TQueryRow& row : kQueries) {
        QObject::connect(&session, row.Reported, [&counts, row] { ++counts[row.Name]; });
    }
    QObject::connect(&session, &TCutterSession::MonitorStarted,
                     [&counts] { ++counts["monitor started"]; });
}

TEST(SessionSignals, OnlyAReplyDecodedWholeIsReportedAndByItsOwnQuerysSignal) {
    for (const TQueryRow& row : kQueries) {
        SCOPED_TRACE(row.Name);
        const bool monitor = row.Code == protocol::ccSettingsQuery;
        const TCounts expected =
            monitor ? TCounts{{row.Name, 1}, {"monitor started", 1}} : TCounts{{row.Name, 1}};
        // A cutter may end its replies with CR LF: the line feed is no field of the reply.
        for (const bool crLf : {false, true}) {
            testsupport::TSessionBench answered;
            TCounts answeredCounts;
            sim::TFaults lineEnding;
            lineEnding.CrLf = crLf;
            CountReports(answered.Build(OnLink(kSerialPort, lineEnding)), answeredCounts);
            (answered.Session().*row.Start)();
            answered.DeliverAll();
            answered.Tick(11);
            EXPECT_EQ(answeredCounts, expected) << "CR LF: " << crLf;
            EXPECT_THAT(answered.Refusals, IsEmpty()) << "CR LF: " << crLf;
            // The query has ended with its link closed; the monitor keeps its link.
            EXPECT_EQ(answered.Session().LinkOpen(), monitor);
        }

        testsupport::TSessionBench silent, garbled;
        TCounts silentCounts, garbledCounts;

        CountReports(silent.Build(), silentCounts);
        silent.Session().StageQueryForTests(row.Code);
        silent.Tick(11);
        EXPECT_EQ(silentCounts, TCounts{});

        // The firmware reply converts nothing, so any reply decodes whole.
        CountReports(garbled.Build(), garbledCounts);
        garbled.Session().StageQueryForTests(row.Code);
        garbled.Session().StageReplyTextForTests("0,x,x,x,x,x,x,x\r");
        garbled.Tick(11);
        const TCounts whole = row.Code == protocol::ccFirmwareQuery ? expected : TCounts{};
        EXPECT_EQ(garbledCounts, whole);
    }
}

} // namespace
} // namespace session::test
