// SPDX-License-Identifier: GPL-3.0-or-later
// The poll cycle tick by tick against the in-process virtual cutter: when a reply is
// complete, when a silent cutter is given up, the settings monitor's windows and resends,
// queries that share the reply text, and changes of port under way.

#include "tests/session/session_test_support.h"

namespace session::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kDeviceNotFound = kDeviceNotFoundText;
constexpr const char* kUsbPlugged = kUsbCablePluggedText;
constexpr const char* kSizeReplyLine = "接收:0,0,24000,50000\r";
constexpr const char* kSettingsQuery = "<ESC>.R1:";

class TReplyCollectionTest : public TPollTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(TReplyCollectionTest, AReplyInPiecesIsDecodedOnceOnTheTenthTickAfterTheFirstPiece) {
    Build(OnLink(GetParam()));
    Session().PollSize();
    ASSERT_THAT(CutterCommands(), ElementsAre("OH;"));
    Tick(2);
    Deliver(5);
    Tick(); // the first piece: tick 0
    Tick(2);
    Deliver(5);
    Tick(); // tick 3
    DeliverAll();
    Tick(); // tick 4
    Tick(5);
    EXPECT_EQ(View().Asked(protocol::ccPollSize), 1);
    EXPECT_EQ(CountLogStartingWith("接收:"), 0);

    Tick(); // tick 10
    EXPECT_EQ(View().Asked(protocol::ccPollSize), 0);
    EXPECT_EQ(View().SettleTicks(protocol::ccPollSize), 0);
    EXPECT_THAT(View().ReplyText(), IsEmpty());
    EXPECT_EQ(Session().Settings().PollSizeX, "600 mm");
    EXPECT_EQ(Session().Settings().PollSizeY, "1250 mm");
    const std::string closeLine =
        std::string(GetParam()) == kSerialPort ? "Close COM1 OK" : "Port has not been opened!";
    EXPECT_THAT(LogFromLast("接收:"),
                ElementsAre(kSizeReplyLine, "0", "0", "24000", "50000", closeLine));
    EXPECT_FALSE(SerialPortOpen());
    EXPECT_EQ(OpenUsbHandles(), 0U);

    Tick(30);
    EXPECT_EQ(CountLogStartingWith("接收:"), 1);
    EXPECT_THAT(Reported(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(EachLink, TReplyCollectionTest, ::testing::Values(kSerialPort, kUsbPort));

// The three one-reply queries, started as their senders start them.
struct TQuery {
    const char* Name;
    TSessionAction Send;
    protocol::TCommandCode Code;
};

const TQuery kQueries[] = {
    {"PollSize", &On<&TCutterSession::PollSize>, protocol::ccPollSize},
    {"Firmware", &On<&TCutterSession::SendFirmwareQuery>, protocol::ccFirmwareQuery},
    {"Scale", &On<&TCutterSession::SendScaleQuery>, protocol::ccScaleQuery},
};

class TSilentQueryTest : public TPollTest, public ::testing::WithParamInterface<TQuery> {};

TEST_P(TSilentQueryTest, EndsOnTheEleventhSilentTickWithTheLinkClosedBeforeTheBox) {
    const TQuery query = GetParam();
    Build(OnLink(kSerialPort, SilentCutter()));
    query.Send(Session());
    ASSERT_TRUE(SerialPortOpen());
    Tick(10);
    EXPECT_EQ(View().Asked(query.Code), 1);
    EXPECT_THAT(Reported(), IsEmpty());

    Tick();
    EXPECT_EQ(View().Asked(query.Code), 0);
    EXPECT_EQ(View().SilenceTicks(), 0);
    EXPECT_FALSE(SerialPortOpen());
    EXPECT_EQ(View().UsbHandle(), 0);
    EXPECT_THAT(Silences, ElementsAre(kDeviceNotFound));
    EXPECT_EQ(Log().back(), "Close COM1 OK");
    const bool scaleQuery = query.Code == protocol::ccScaleQuery;
    EXPECT_EQ(ScaleEndings, scaleQuery ? std::vector<bool>{false} : std::vector<bool>{});
}

INSTANTIATE_TEST_SUITE_P(EachQuery, TSilentQueryTest, ::testing::ValuesIn(kQueries),
                         [](const auto& info) { return std::string(info.param.Name); });

struct TSilenceBoxCase {
    const char* Name;
    const char* PortText;
    bool UsbCutterPlugged;
    const char* Box;
    int CommandsSent;
};

class TSilenceBoxTest : public TPollTest, public ::testing::WithParamInterface<TSilenceBoxCase> {};

TEST_P(TSilenceBoxTest, NamesWhyNothingAnswered) {
    const TSilenceBoxCase& test = GetParam();
    TBench bench;
    bench.PortText = test.PortText;
    bench.UsbCutterPlugged = test.UsbCutterPlugged;
    Build(bench);
    Session().PollSize();
    Tick(11);
    EXPECT_THAT(Silences, ElementsAre(test.Box));
    EXPECT_EQ(static_cast<int>(CutterCommands().size()), test.CommandsSent);
    EXPECT_EQ(View().Asked(protocol::ccPollSize), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Links, TSilenceBoxTest,
    ::testing::Values(TSilenceBoxCase{"UsbCutterBesideTheComPort", kSerialPort, true, kUsbPlugged,
                                      0},
                      TSilenceBoxCase{"NoUsbCutterOnTheComPort", "COM9", false, kDeviceNotFound, 0},
                      TSilenceBoxCase{"UsbEntryWithoutDevice", "USB1", false, kDeviceNotFound, 0},
                      TSilenceBoxCase{"NoLinkChosen", "", false, kDeviceNotFound, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

using TSettingsMonitorTest = TPollTest;

TEST_F(TSettingsMonitorTest, WithoutAFirstReplyStopsOnTheEleventhSilentTickAsDisDetectDoes) {
    Build(OnLink(kSerialPort, SilentCutter()));
    Session().StartMonitor();
    Tick(10);
    EXPECT_EQ(View().Asked(protocol::ccSettingsQuery), 1);
    EXPECT_THAT(Reported(), IsEmpty());

    Tick();
    EXPECT_EQ(View().Asked(protocol::ccSettingsQuery), 0);
    EXPECT_EQ(View().AwaitingFirstReply(), 0);
    EXPECT_EQ(MonitorStops, 1);
    EXPECT_THAT(LogFromLast("Close COM1 OK"),
                ElementsAre("Close COM1 OK", "Port has not been opened!"));
    EXPECT_THAT(Silences, ElementsAre(kDeviceNotFound));
}

TEST_F(TSettingsMonitorTest, ResendsOnThe101stSilentTickAndStopsAfter151SilentTicks) {
    Build(OnLink(kSerialPort));
    Session().StartMonitor();
    Tick(5); // the first reply comes after 5 silent ticks
    DeliverAll();
    Tick(11);
    EXPECT_EQ(Session().Settings().Offset, "0.250 mm");
    EXPECT_EQ(Session().Settings().MediaType, "Roll");
    EXPECT_THAT(Session().Settings().PollSizeX, IsEmpty());
    EXPECT_TRUE(SerialPortOpen());

    // 5 silent ticks were counted before the reply.
    Tick(95);
    EXPECT_EQ(CutterCommands().size(), 1U);
    Tick();
    EXPECT_THAT(CutterCommands(), ElementsAre(kSettingsQuery, kSettingsQuery));

    // The resent query goes unanswered: the silent run since the reply passes 150.
    Tick(150 - 96);
    EXPECT_EQ(View().Asked(protocol::ccSettingsQuery), 1);
    EXPECT_THAT(Reported(), IsEmpty());
    Tick();
    EXPECT_EQ(View().Asked(protocol::ccSettingsQuery), 0);
    EXPECT_EQ(MonitorStops, 1);
    EXPECT_THAT(Silences, ElementsAre(kDeviceNotFound));
}

TEST_F(TSettingsMonitorTest, KeepsThePanelFilledWhileEveryResendIsAnswered) {
    Build(OnLink(kSerialPort));
    Session().StartMonitor();
    for (int round = 1; round <= 3; ++round) {
        DeliverAll();
        Tick(11);
        EXPECT_EQ(CountLogStartingWith("接收:"), round);
        Tick(101);
    }
    EXPECT_EQ(View().Asked(protocol::ccSettingsQuery), 1);
    EXPECT_EQ(CutterCommands().size(), 4U);
    EXPECT_EQ(Session().Settings().MediaWeight, "Light");
    EXPECT_THAT(Reported(), IsEmpty());
}

// The Save button's scale query waits while the monitor awaits its resent query; the
// monitor then gives up on the very tick its next resend falls due. The query that waited
// goes out and has the link to itself.
TEST_F(TSettingsMonitorTest, TheTickThatStopsItSendsNothingOnTheLinkOfTheQueryThatWaited) {
    Build(OnLink(kSerialPort));
    // A first run leaves 51 silent ticks counted toward the next resend.
    Session().StartMonitor();
    DeliverAll();
    Tick(11 + 51);
    Session().StopMonitor();
    Session().StartMonitor();
    DeliverAll();
    Tick(11 + 50);
    ASSERT_THAT(CutterCommands(), ElementsAre(kSettingsQuery, kSettingsQuery, kSettingsQuery));
    Session().SendScaleQuery();
    Line().DiscardAll();
    Tick(100);
    EXPECT_EQ(View().Asked(protocol::ccSettingsQuery), 1);
    Tick();
    EXPECT_EQ(View().Asked(protocol::ccSettingsQuery), 0);
    EXPECT_THAT(CutterCommands(),
                ElementsAre(kSettingsQuery, kSettingsQuery, kSettingsQuery, "<ESC>.R3:"));
}

using TSharedReplyTest = TPollTest;

// The second query goes out when the first has ended, and each counts its own silence.
TEST_F(TSharedReplyTest, ASecondQueryWaitsItsTurnAndGetsItsOwnElevenSilentTicks) {
    Build(OnLink(kSerialPort, SilentCutter()));
    Session().PollSize();
    Session().SendFirmwareQuery();
    EXPECT_THAT(CutterCommands(), ElementsAre("OH;"));
    Tick(10);
    EXPECT_EQ(View().Asked(protocol::ccPollSize), 1);
    Tick();
    EXPECT_EQ(View().Asked(protocol::ccPollSize), 0);
    EXPECT_THAT(CutterCommands(), ElementsAre("OH;", "<ESC>.R4:"));
    EXPECT_EQ(Silences.size(), 1U);
    Tick(10);
    EXPECT_EQ(View().Asked(protocol::ccFirmwareQuery), 1);
    Tick();
    EXPECT_EQ(View().Asked(protocol::ccFirmwareQuery), 0);
    EXPECT_EQ(Silences.size(), 2U);
}

using TPortChangeTest = TPollTest;

TEST_F(TPortChangeTest, DuringAQueryAbandonsItWithoutABox) {
    Build(OnLink(kSerialPort));
    Session().PollSize();
    Deliver(6);
    Tick(3);
    ChoosePort(kSerialPort);
    EXPECT_EQ(View().Asked(protocol::ccPollSize), 0);
    EXPECT_THAT(View().ReplyText(), IsEmpty());
    DeliverAll();
    Tick(50);
    EXPECT_EQ(CountLogStartingWith("接收:"), 0);
    EXPECT_THAT(Reported(), IsEmpty());
}

TEST_F(TPortChangeTest, DuringAScaleQueryTellsTheWaitingWizardItWillNotBeAnswered) {
    Build(OnLink(kSerialPort));
    Session().SendScaleQuery();
    Tick(3);
    ChoosePort(kSerialPort);
    EXPECT_THAT(ScaleEndings, ElementsAre(false));
    ChoosePort(kSerialPort);
    EXPECT_EQ(ScaleEndings.size(), 1U) << "only an abandoned query is reported";
}

// The buttons are the window's: the monitor stopped this way reports no stop.
TEST_F(TPortChangeTest, DuringLoopDetectionStopsTheQueriesButKeepsTheButtons) {
    Build(OnLink(kSerialPort));
    Session().StartMonitor();
    DeliverAll();
    Tick(11);
    ChoosePort(kSerialPort);
    Tick(300);
    EXPECT_EQ(View().Asked(protocol::ccSettingsQuery), 0);
    EXPECT_EQ(CutterCommands().size(), 1U);
    EXPECT_THAT(Reported(), IsEmpty());
    EXPECT_EQ(MonitorStops, 0);
}

TEST_F(TPortChangeTest, ANewQueryCollectsItsWholeReplyAfterOneAbandonedMidReply) {
    Build(OnLink(kSerialPort));
    Session().SendScaleQuery();
    Deliver(4);
    Tick(7);
    ChoosePort(kSerialPort);
    Line().DiscardAll();

    Session().SendScaleQuery();
    Deliver(4); // "0,10"
    Tick(4);
    EXPECT_EQ(View().Asked(protocol::ccScaleQuery), 1);
    DeliverAll();
    Tick(7);
    EXPECT_EQ(View().Asked(protocol::ccScaleQuery), 0);
    EXPECT_EQ(Session().Settings().ScaleX, 1012);
    EXPECT_EQ(Session().Settings().ScaleY, 996);
    EXPECT_EQ(Session().ScaleRepliesDecoded(), 1);
}

} // namespace
} // namespace session::test
