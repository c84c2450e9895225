// SPDX-License-Identifier: GPL-3.0-or-later
// The panel commands and the two reply feeders on each link: what reaches the cutter, what
// the USB link logs, which bytes the reply text keeps, and what DisDetect closes.

#include "tests/session/session_test_support.h"

namespace session::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class TEachLinkTest : public TPollTest, public ::testing::WithParamInterface<const char*> {
protected:
    bool SerialChosen() const { return std::string(GetParam()) == kSerialPort; }
};

TEST_P(TEachLinkTest, DisDetectClosesBothLinksAndDropsTheReplyCollected) {
    Build(OnLink(GetParam()));
    Session().StartMonitor();
    Deliver(5);
    Tick();
    ASSERT_FALSE(View().ReplyText().empty());

    Session().StopMonitor();
    EXPECT_EQ(View().Asked(protocol::ccSettingsQuery), 0);
    EXPECT_EQ(View().SilenceTicks(), 0);
    EXPECT_THAT(View().ReplyText(), IsEmpty());
    EXPECT_FALSE(SerialPortOpen());
    EXPECT_EQ(OpenUsbHandles(), 0U);
    EXPECT_EQ(View().UsbHandle(), 0);
    EXPECT_EQ(Log().back(), SerialChosen() ? "Close COM1 OK" : "Port has not been opened!");
    Tick(200);
    EXPECT_EQ(CutterCommands().size(), 1U);
    EXPECT_THAT(Reported(), IsEmpty());
}

TEST_P(TEachLinkTest, AZeroByteStaysOnlyOnTheSerialLink) {
    TBench bench = OnLink(GetParam());
    bench.Cutter.FirmwareModel = std::string("TC\0"
                                             "60",
                                             5);
    Build(bench);
    Session().SendFirmwareQuery();
    DeliverAll();
    Tick(11);
    EXPECT_EQ(Session().Settings().FirmwareModel, SerialChosen() ? std::string("TC\0"
                                                                               "60",
                                                                               5)
                                                                 : std::string("TC60"));
    EXPECT_EQ(Session().Settings().FirmwareVersion, "2.10");
}

TEST_P(TEachLinkTest, ATestCutReachesTheCutterAndLeavesTheLinkOpen) {
    Build(OnLink(GetParam()));
    Session().SendTestDraw({"100", "50"});
    ASSERT_EQ(Cutter().CutCount(), 1U);
    EXPECT_DOUBLE_EQ(Cutter().Cuts().back().WidthMm, 100.0);
    EXPECT_DOUBLE_EQ(Cutter().Cuts().back().HeightMm, 50.0);
    EXPECT_EQ(SerialPortOpen(), SerialChosen());
    EXPECT_EQ(OpenUsbHandles(), SerialChosen() ? 0U : 1U);
    EXPECT_THAT(Reported(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Links, TEachLinkTest, ::testing::Values(kSerialPort, kUsbPort));

using TUsbFeederTest = TPollTest;

TEST_F(TUsbFeederTest, LogsEveryReadAndTheSerialCloseThatFindsNothingOpen) {
    Build(OnLink(kUsbPort));
    Session().PollSize();
    EXPECT_THAT(Log(), ElementsAre("Open USB0 OK", "發送命令:OH;"));
    Tick(3);
    EXPECT_EQ(CountLog("Receive Data : 0 bytes"), 3);
    DeliverAll(); // 16 bytes: "0,0,24000,50000" and a carriage return
    Tick(11);
    EXPECT_EQ(CountLog("Receive Data : 16 bytes"), 1);
    EXPECT_EQ(CountLog("Receive Data : 0 bytes"), 13);
    EXPECT_EQ(Log().back(), "Port has not been opened!");
    EXPECT_EQ(Session().Settings().PollSizeY, "1250 mm");
    EXPECT_EQ(OpenUsbHandles(), 0U);
}

TEST_F(TUsbFeederTest, AFailedReadIsSkippedWithoutAWordAndCountsAsSilence) {
    Build(OnLink(kUsbPort));
    Session().PollSize();
    Tick(2);
    // The cable is pulled: both library reads now fail.
    Line().HangUp();
    Tick(8);
    EXPECT_EQ(CountLogStartingWith("Receive Data"), 2);
    EXPECT_EQ(View().Asked(protocol::ccPollSize), 1);
    Tick();
    EXPECT_EQ(View().Asked(protocol::ccPollSize), 0);
    EXPECT_THAT(Silences, ElementsAre(kDeviceNotFoundText));
}

using TSerialFeederTest = TPollTest;

TEST_F(TSerialFeederTest, ACountAboveTheReadBufferIsReadInParts) {
    TBench bench;
    bench.ScriptedSerial = true;
    Build(bench);
    Session().PollSize();
    std::string flood(12000, '7');
    flood[4999] = '\0';
    flood[5000] = ',';
    ArriveOnSerial(flood);
    EXPECT_EQ(View().ReplyText(), flood);
}

using TUsbGuardTest = TPollTest;

// A USB cutter is attached while COM1 is chosen: the serial link carries nothing.
TBench ComPortBesideAUsbCutter() {
    TBench bench;
    bench.UsbCutterPlugged = true;
    return bench;
}

// The guard names the device in its way: any USB printer answers, not only a cutter.
const std::string kUsbNamed = "USB0 attached, device ID: none reported";

TEST_F(TUsbGuardTest, CutsAndScaleWritesAreRefusedBeforeTheLinkIsTouched) {
    const std::function<TOutcome(TCutterSession&)> sends[] = {
        [](TCutterSession& s) {
            return s.SendTestDraw({"50", "50"});
        },
        [](TCutterSession& s) {
            return s.SendCorrectedTestDraw({"50", "50"});
        },
        [](TCutterSession& s) { return testsupport::TSessionTestView(s).SendWriteScale(); },
    };
    for (const auto& send : sends) {
        Build(ComPortBesideAUsbCutter());
        const TOutcome refused = send(Session());
        EXPECT_EQ(refused.Kind, okUsbBlocked);
        EXPECT_EQ(refused.Cause, kUsbCablePluggedText);
        EXPECT_EQ(UsbGuardRefusals, 1);
        EXPECT_THAT(Log(), ElementsAre(kUsbNamed));
        EXPECT_FALSE(SerialPortOpen());
        EXPECT_EQ(Cutter().CutCount(), 0U);
        EXPECT_EQ(Cutter().FlashWriteCount(), 0U);
    }
}

// A USB cutter plugged in after the guard asked, while the port opens: the serial link
// carries nothing, and the cut is refused as the guard refuses it, never reported sent.
TEST_F(TUsbGuardTest, ACutterPluggedInWhileThePortOpensMakesTheCutRefusedNotSent) {
    Build();
    QObject::connect(&Session(), &TCutterSession::LogLine, [this](const std::string& line) {
        if (line.ends_with("Check OK")) {
            SetUsbCutterPlugged(true);
        }
    });
    EXPECT_EQ(Session().SendTestDraw({"50", "50"}).Kind, okUsbBlocked);
    EXPECT_EQ(UsbGuardRefusals, 1);
    EXPECT_EQ(Cutter().CutCount(), 0U);
}

TEST_F(TUsbGuardTest, AScaleQueryGoesOnAndEndsWithTheSameTextAfterTheSilence) {
    Build(ComPortBesideAUsbCutter());
    Session().SendScaleQuery();
    EXPECT_THAT(Log(), ElementsAre("COM1 Check OK", kUsbNamed));
    EXPECT_EQ(UsbGuardRefusals, 0);
    Tick(11);
    EXPECT_THAT(CutterCommands(), IsEmpty());
    EXPECT_THAT(Silences, ElementsAre(kUsbCablePluggedText));
    EXPECT_THAT(ScaleEndings, ElementsAre(false));
}

// The shell waits for no silence: a query there is refused by the same guard, at once,
// before the link is touched.
TEST_F(TUsbGuardTest, UnderTheShellsRuleAQueryIsRefusedAtOnceWithTheSameText) {
    Build(ComPortBesideAUsbCutter());
    Session().SetReplyMode(rmShell);
    Session().SendScaleQuery();
    EXPECT_EQ(UsbGuardRefusals, 1);
    EXPECT_FALSE(SerialPortOpen());
    EXPECT_FALSE(View().QueryOutstanding());
    EXPECT_THAT(ScaleEndings, ElementsAre(false));
}

using TScaleQueryTest = TPollTest;

TEST_F(TScaleQueryTest, AWholeReplyIsCountedForTheWizard) {
    Build();
    Session().SendScaleQuery();
    DeliverAll();
    Tick(11);
    EXPECT_EQ(Session().ScaleRepliesDecoded(), 1);
    EXPECT_THAT(ScaleEndings, ElementsAre(true));
}

} // namespace
} // namespace session::test
