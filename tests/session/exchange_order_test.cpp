// SPDX-License-Identifier: GPL-3.0-or-later
// One reply at a time on the link: a query asked for while another's reply is awaited
// waits its turn, each query starts its own silence count and its own clean reply text,
// bytes nobody asked for never reach a decoder, and only a scale reply in form is taken
// as a reading.

#include "tests/session/session_test_support.h"

namespace session::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int kSettleTicks = 11;
constexpr const char* kNotAScaleReading = "was not a scale reading";
constexpr const char* kQueryWaits =
    "Waiting for the cutter's answer to the previous query before sending the next one";

class TExchangeOrderTest : public TPollTest {
protected:
    // Delivers what the cutter answered and ticks until the reply is decoded, `count`
    // times: one exchange after the other.
    void AnswerInTurn(int count) {
        for (int exchange = 0; exchange < count; ++exchange) {
            DeliverAll();
            Tick(kSettleTicks);
        }
    }
};

struct TSecondRequest {
    const char* Name;
    TSessionAction Press;
    std::vector<std::string> Commands;
    const char* Logged; // what the log says when the second request is made
};

class TTwoRequestsTest : public TExchangeOrderTest,
                         public ::testing::WithParamInterface<TSecondRequest> {};

// Alt+P then Alt+L (or the About dialog's query, or Alt+P again) pressed before the size
// reply is in: a second query goes out only once the size reply has been decoded, and the
// log says why nothing went out yet.
TEST_P(TTwoRequestsTest, PressedBeforeTheFirstReplyEachGetsItsOwnReply) {
    Build();
    Session().PollSize();
    Tick(5);
    GetParam().Press(Session());
    EXPECT_THAT(CutterCommands(), ElementsAre("OH;"));
    EXPECT_EQ(Log().back(), GetParam().Logged);
    AnswerInTurn(2);
    EXPECT_EQ(CutterCommands(), GetParam().Commands);
    EXPECT_THAT(Reported(), IsEmpty());
    EXPECT_EQ(Session().Settings().PollSizeX, "600 mm");
    EXPECT_EQ(Session().Settings().PollSizeY, "1250 mm");
}

INSTANTIATE_TEST_SUITE_P(
    Requests, TTwoRequestsTest,
    ::testing::Values(
        TSecondRequest{
            "LoopDetect", &On<&TCutterSession::StartMonitor>, {"OH;", "<ESC>.R1:"}, kQueryWaits},
        TSecondRequest{
            "Firmware", &On<&TCutterSession::SendFirmwareQuery>, {"OH;", "<ESC>.R4:"}, kQueryWaits},
        TSecondRequest{"PollSizeAgain",
                       &On<&TCutterSession::PollSize>,
                       {"OH;"},
                       "Poll Size is already waiting for the cutter's answer"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TExchangeOrderTest, PollSizeThenLoopDetectShowsTheSizeAndTheSettingsAndKeepsMonitoring) {
    Build();
    Session().PollSize();
    Session().StartMonitor();
    AnswerInTurn(2);
    EXPECT_EQ(Session().Settings().PollSizeY, "1250 mm");
    EXPECT_EQ(Session().Settings().Offset, "0.250 mm");
    EXPECT_EQ(Session().Settings().MediaType, "Roll");
    EXPECT_EQ(View().Asked(protocol::ccSettingsQuery), 1);
    EXPECT_TRUE(SerialPortOpen());
    EXPECT_THAT(Reported(), IsEmpty());
}

TEST_F(TExchangeOrderTest, FirmwareThenPollSizeNeverDecodesTheModelAsASize) {
    Build();
    Session().SendFirmwareQuery();
    Session().PollSize();
    AnswerInTurn(2);
    EXPECT_EQ(Session().Settings().FirmwareModel, "TC-60");
    EXPECT_EQ(Session().Settings().PollSizeX, "600 mm");
    EXPECT_THAT(Reported(), IsEmpty());
}

// Save pressed while Loop Detect runs: right after the monitor's query (its reply still
// due), or in its silent spell between two sendings. The scale query counts its own
// silence, gets the scale reply, and the monitor goes on over the open link.
TEST_F(TExchangeOrderTest, ScaleQueryDuringLoopDetectReadsTheScaleAndTheMonitorGoesOn) {
    for (const int silentTicksBefore : {-1, 0, 40, 95}) {
        SCOPED_TRACE(silentTicksBefore);
        Build();
        Session().StartMonitor();
        if (silentTicksBefore >= 0) {
            AnswerInTurn(1);
            Tick(silentTicksBefore);
        }
        Session().SendScaleQuery();
        AnswerInTurn(2);
        EXPECT_EQ(Session().ScaleRepliesDecoded(), 1);
        EXPECT_EQ(Session().Settings().ScaleX, 1012);
        EXPECT_EQ(Session().Settings().Force, "80");
        EXPECT_THAT(Reported(), IsEmpty());
        EXPECT_EQ(View().Asked(protocol::ccSettingsQuery), 1);
        EXPECT_TRUE(SerialPortOpen());
        Tick(101);
        EXPECT_EQ(CutterCommands().back(), "<ESC>.R1:");
    }
}

TEST_F(TExchangeOrderTest, DisDetectWhileAScaleQueryIsAwaitedLeavesThatExchangeAlone) {
    Build();
    Session().StartMonitor();
    AnswerInTurn(1);
    Session().SendScaleQuery();
    Session().StopMonitor();
    AnswerInTurn(1);
    EXPECT_EQ(Session().ScaleRepliesDecoded(), 1);
    EXPECT_THAT(Reported(), IsEmpty());
    EXPECT_FALSE(SerialPortOpen());
}

// A change of port abandons the query under way and the one waiting behind it; the
// waiting one can be asked for again.
TEST_F(TExchangeOrderTest, AQueryAbandonedWhileWaitingCanBeAskedForAgain) {
    Build();
    Session().PollSize();
    Session().SendFirmwareQuery();
    ChoosePort(kSerialPort);
    Session().SendFirmwareQuery();
    AnswerInTurn(1);
    EXPECT_EQ(Session().Settings().FirmwareModel, "TC-60");
    EXPECT_EQ(View().Asked(protocol::ccFirmwareQuery), 0);
}

// Noise on a port left open (after a test cut), read by the session or still in the
// driver when the query goes out: the query's reply is taken alone.
TEST_F(TExchangeOrderTest, StrayBytesBeforeAQueryOnTheSerialLinkNeverReachItsDecoder) {
    for (const bool readByTheSession : {true, false}) {
        SCOPED_TRACE(readByTheSession);
        TBench bench;
        bench.ScriptedSerial = true;
        Build(bench);
        View().OpenChosenLink();
        ArriveUnasked("\xB5\xBA\xE3\xF9\x01\x7F,1", readByTheSession);
        Session().SendScaleQuery();
        ArriveOnSerial("0,1000,998\r");
        Tick(kSettleTicks);
        EXPECT_EQ(Session().ScaleRepliesDecoded(), 1);
        EXPECT_EQ(Session().Settings().ScaleX, 1000);
        EXPECT_EQ(Session().Settings().ScaleY, 998);
        EXPECT_EQ(Session().LastScaleReply(), "0,1000,998\r");
        EXPECT_THAT(Reported(), IsEmpty());
    }
}

TEST_F(TExchangeOrderTest, BytesWhileTheMonitorWaitsToResendAreNotDecodedAsSettings) {
    TBench bench;
    bench.ScriptedSerial = true;
    Build(bench);
    Session().StartMonitor();
    ArriveOnSerial("0,30,80,250,5,1,0,2\r");
    Tick(kSettleTicks);
    ArriveUnasked("0,0,24000,50000\r", true);
    Tick(kSettleTicks);
    EXPECT_EQ(Session().Settings().Force, "80");
    EXPECT_EQ(Session().Settings().Offset, "0.250 mm");
    EXPECT_THAT(Reported(), IsEmpty());
}

// Only a reply in form counts as a reading; one of another kind is refused.
TEST_F(TExchangeOrderTest, OnlyAScaleReplyInFormIsTakenAsAReading) {
    for (const auto& [reply, taken] :
         {std::pair{"0,1000,998\r\n", true}, std::pair{"0,31,258,511,4,1,1,2\r", false}}) {
        SCOPED_TRACE(reply);
        TBench bench;
        bench.ScriptedSerial = true;
        Build(bench);
        Session().SendScaleQuery();
        ArriveOnSerial(reply);
        Tick(kSettleTicks);
        EXPECT_EQ(Session().ScaleRepliesDecoded(), taken ? 1 : 0);
        EXPECT_EQ(Session().Settings().ScaleX, taken ? 1000 : 0);
        EXPECT_EQ(Refusals.size(), taken ? 0U : 1U);
        for (const std::string& text : Refusals) {
            EXPECT_NE(text.find(kNotAScaleReading), std::string::npos) << text;
        }
    }
}

} // namespace
} // namespace session::test
