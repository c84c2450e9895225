// SPDX-License-Identifier: GPL-3.0-or-later
// A reply decoded whole is reported by its query's own signal; silence or a reply that
// does not decode reports none.

#include "tests/session/session_test_support.h"

#include <map>
#include <string>
#include <vector>

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
        testsupport::TSessionTestView(silent.Session()).StageQuery(row.Code);
        silent.Tick(11);
        EXPECT_EQ(silentCounts, TCounts{});

        // The firmware reply converts nothing, so any reply decodes whole.
        CountReports(garbled.Build(), garbledCounts);
        testsupport::TSessionTestView(garbled.Session()).StageQuery(row.Code);
        testsupport::TSessionTestView(garbled.Session()).StageReplyText("0,x,x,x,x,x,x,x\r");
        garbled.Tick(11);
        const TCounts whole = row.Code == protocol::ccFirmwareQuery ? expected : TCounts{};
        EXPECT_EQ(garbledCounts, whole);
    }
}

// What arrives on the line, each piece followed by so many ticks.
struct TPiece {
    std::string Bytes;
    int TicksAfter = 0;
};

struct TReplyRow {
    const char* Name;
    TReplyMode Mode;
    const TQueryRow& Query;
    std::vector<TPiece> Pieces;
    int Reported;                      // value signals of the query
    std::vector<std::string> NotWhole; // replies reported as not whole
    bool StillAsking = false;          // the query or the monitor still runs
};

// A size reply's fields over and over, never a CR: 11 ticks with data end it.
constexpr const char* kStreamPiece = "0,0,24000,50000";
const std::vector<TPiece> kEndlessStream(11, TPiece{kStreamPiece, 1});

std::string Repeated(const std::string& text, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i) {
        repeated += text;
    }
    return repeated;
}

const char* const kFullSettings = "0,30,80,250,5,1,0,2\r";
const TQueryRow& kSize = kQueries[0];
const TQueryRow& kMonitor = kQueries[1];

const TReplyRow kReplyRows[] = {
    {"ends at its CR", rmShell, kSize, {{"0,0,24000,50000\r"}}, 1, {}},
    {"CR LF", rmShell, kSize, {{"0,0,24000,50000\r\n"}}, 1, {}},
    {"LF after the ended reply", rmShell, kSize, {{"0,0,24000,50000\r"}, {"\n", 2}}, 1, {}},
    {"late settings reply", rmShell, kSize, {{kFullSettings}}, 0, {kFullSettings}},
    {"six fields", rmShell, kSize, {{"0,0,24000,50000,0,0\r"}}, 0, {"0,0,24000,50000,0,0\r"}},
    {"split by a pause", rmShell, kSize, {{"0,0,24000,5", 11}, {"0000\r", 2}}, 0, {"0,0,24000,5"}},
    {"led by noise",
     rmShell,
     kSize,
     {{"9,9,"}, {"0,0,24000,50000\r"}},
     0,
     {"9,9,0,0,24000,50000\r"}},
    {"endless stream", rmShell, kSize, kEndlessStream, 0, {Repeated(kStreamPiece, 11)}},
    {"silence", rmShell, kSize, {{"", 300}}, 0, {}, true},
    {"settings without CR",
     rmShell,
     kMonitor,
     {{"0,30,80,250,5,1,0,2", 11}},
     0,
     {"0,30,80,250,5,1,0,2"},
     true},
    {"short settings between whole ones",
     rmShell,
     kMonitor,
     {{kFullSettings, 101}, {"0,30,95\r", 101}, {"0,40\r", 101}, {kFullSettings}},
     2,
     {"0,30,95\r", "0,40\r"},
     true},
    {"monitor silence", rmShell, kMonitor, {{"", 400}}, 0, {}, true},
    {"firmware fields unused", rmShell, kQueries[2], {{"0,0,TC-60,2.10 0305,x\r"}}, 1, {}},
    {"short scale", rmShell, kQueries[3], {{"0,1000\r"}}, 0, {"0,1000\r"}},
    {"panel: late settings reply", rmPanel, kSize, {{kFullSettings, 11}}, 0, {kFullSettings}},
    {"panel: CR LF", rmPanel, kSize, {{"0,0,24000,50000\r\n", 11}}, 1, {}},
};

// A value signal carries one whole reply of the query sent; the shell's rule ends a reply
// at its CR, judges whatever else came, never gives up on silence and abandons cleanly.
TEST(SessionSignals, AValueIsReportedForOneWholeReplyOfTheQuerySentOnly) {
    for (const TReplyRow& row : kReplyRows) {
        SCOPED_TRACE(row.Name);
        testsupport::TSessionBench bench;
        TCounts counts;
        std::vector<std::string> notWhole;
        TCutterSession& session = bench.Build(testsupport::ScriptedComPort());
        session.SetReplyMode(row.Mode);
        CountReports(session, counts);
        QObject::connect(&session, &TCutterSession::ReplyNotWhole,
                         [&](protocol::TCommandCode query, const std::string& reply) {
                             EXPECT_EQ(query, row.Query.Code);
                             notWhole.push_back(reply);
                         });
        (session.*row.Query.Start)();
        counts.erase("monitor started");
        for (const TPiece& piece : row.Pieces) {
            bench.ArriveUnasked(piece.Bytes, true);
            bench.Tick(piece.TicksAfter);
        }
        EXPECT_EQ(counts[row.Query.Name], row.Reported);
        EXPECT_EQ(notWhole, row.NotWhole);
        EXPECT_THAT(bench.Silences, IsEmpty());
        EXPECT_EQ(testsupport::TSessionTestView(session).QueryOutstanding(), row.StillAsking);
        session.AbandonQueries();
        EXPECT_FALSE(testsupport::TSessionTestView(session).QueryOutstanding());
        EXPECT_FALSE(bench.SerialPortOpen());
    }
}

} // namespace
} // namespace session::test
