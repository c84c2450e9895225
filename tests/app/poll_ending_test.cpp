// SPDX-License-Identifier: GPL-3.0-or-later
// How exchanges end when a box is shown: the box opens once the exchange has ended, the
// buttons follow the monitor, and whatever arrives while a box is open finds the request
// already ended.

#include "tests/app/app_test_support.h"

#include <gmock/gmock.h>

#include <QPushButton>
#include <QSignalSpy>

namespace app::polltest {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

using testsupport::ScriptedComPort;

// The enabled state of Poll Size, Loop Detect, DisDetect, Scaling and About.
std::vector<bool> ButtonsEnabled(const TMainForm& form) {
    return {form.BnPollSize->isEnabled(), form.BnLoopDetect->isEnabled(),
            form.BnDisDetect->isEnabled(), form.BnScaling->isEnabled(), form.BnAbout->isEnabled()};
}
const std::vector<bool> kIdleButtons{true, true, false, true, true};
const std::vector<bool> kLoopDetectButtons{false, false, true, false, false};

using TSilentQueryTest = TPollTest;

TEST_F(TSilentQueryTest, TheBoxOpensOnceTheQueryHasEndedWithTheLinkClosed) {
    Build(OnLink(kSerialPort, SilentCutter()));
    Form().BnPollSizeClick();
    bool endedBeforeTheBox = false;
    Prompts.WhileOpen = [&] {
        endedBeforeTheBox = View().Asked(protocol::ccPollSize) == 0 && View().SilenceTicks() == 0 &&
                            !SerialPortOpen();
    };
    Tick(11);
    EXPECT_TRUE(endedBeforeTheBox);
    EXPECT_THAT(Prompts.TextsOf(TRecordingPrompts::pkMessageBox),
                ElementsAre(session::kDeviceNotFoundText));
}

using TMalformedReplyTest = TPollTest;

TEST_F(TMalformedReplyTest, TheErrorBoxOpensOnceTheExchangeHasEndedAndNamesTheField) {
    Build(ScriptedComPort());
    Form().BnPollSizeClick();
    ArriveOnSerial("0,0,24000,12x\r");
    bool endedBeforeTheBox = false;
    Prompts.WhileOpen = [&] {
        endedBeforeTheBox = View().ReplyText().empty() && View().Asked(protocol::ccPollSize) == 0 &&
                            !SerialPortOpen();
    };
    Tick(11);
    EXPECT_TRUE(endedBeforeTheBox);
    EXPECT_THAT(Prompts.TextsOf(TRecordingPrompts::pkException), ElementsAre(HasSubstr("12x")));
    EXPECT_THAT(PanelTexts(), ElementsAre("600 mm", "", "", "", "", "", "", "", ""));
}

using TSettingsMonitorTest = TPollTest;

// The monitor that gives up on a silent cutter gives the buttons back as DisDetect does,
// before the operator is told.
TEST_F(TSettingsMonitorTest, TheButtonsAreBackBeforeTheSilenceBox) {
    Build(OnLink(kSerialPort, SilentCutter()));
    Form().BnLoopDetectClick();
    EXPECT_EQ(ButtonsEnabled(Form()), kLoopDetectButtons);
    std::vector<bool> buttonsUnderTheBox;
    Prompts.WhileOpen = [&] { buttonsUnderTheBox = ButtonsEnabled(Form()); };
    Tick(11);
    EXPECT_EQ(buttonsUnderTheBox, kIdleButtons);
    EXPECT_THAT(Prompts.TextsOf(TRecordingPrompts::pkMessageBox),
                ElementsAre(session::kDeviceNotFoundText));
}

using TPortChangeTest = TPollTest;

TEST_F(TPortChangeTest, DuringLoopDetectionTheButtonsStayUntilDisDetect) {
    Build(OnLink(kSerialPort));
    Form().BnLoopDetectClick();
    DeliverAll();
    Tick(11);
    ChoosePort(kSerialPort);
    Tick(300);
    EXPECT_EQ(ButtonsEnabled(Form()), kLoopDetectButtons);
    Form().BnDisDetectClick();
    EXPECT_EQ(ButtonsEnabled(Form()), kIdleButtons);
}

using TBoxReentranceTest = TPollTest;

TEST_F(TBoxReentranceTest, TicksAndASerialEventUnderTheSilenceBoxFindTheQueryEnded) {
    Build(OnLink(kSerialPort, SilentCutter()));
    Form().BnPollSizeClick();
    Prompts.WhileOpen = [&] {
        Tick(30);
        View().SerialInputArrived(8);
        EXPECT_EQ(View().Asked(protocol::ccPollSize), 0);
        EXPECT_EQ(View().SilenceTicks(), 0);
    };
    Tick(11);
    EXPECT_EQ(Prompts.Shown.size(), 1U);
    EXPECT_THAT(View().ReplyText(), IsEmpty());
    EXPECT_FALSE(SerialPortOpen());
    Tick(30);
    EXPECT_EQ(Prompts.Shown.size(), 1U);
}

TEST_F(TBoxReentranceTest, TicksUnderTheMonitorsSilenceBoxNeitherResendNorStopTwice) {
    Build(OnLink(kSerialPort, SilentCutter()));
    Form().BnLoopDetectClick();
    std::size_t logLinesUnderTheBox = 0;
    Prompts.WhileOpen = [&] {
        logLinesUnderTheBox = Log().size();
        Tick(300);
        EXPECT_EQ(Log().size(), logLinesUnderTheBox);
        EXPECT_TRUE(Form().BnLoopDetect->isEnabled());
    };
    Tick(11);
    EXPECT_NE(logLinesUnderTheBox, 0U);
    EXPECT_EQ(Prompts.Shown.size(), 1U);
    EXPECT_EQ(View().Asked(protocol::ccSettingsQuery), 0);
    EXPECT_EQ(CountLog("Close COM1 OK"), 1);
}

TEST_F(TBoxReentranceTest, ANewReplyUnderTheMonitorsErrorBoxIsDecodedAndTheBadOneNeverAgain) {
    Build(ScriptedComPort());
    Form().BnLoopDetectClick();
    ArriveOnSerial("0,abc,80,250,5,1,0,2\r");
    // The monitor's next sending, answered while the box is open.
    Prompts.WhileOpen = [&] {
        Tick(101);
        ArriveOnSerial("0,31,90,300,4,0,1,1\r");
        Tick(11);
    };
    Tick(11);
    EXPECT_EQ(CountLogStartingWith("接收:"), 2);
    EXPECT_THAT(PanelTexts(), ElementsAre("", "", "90", "0.300 mm", "Heavy", "Fine", "Disable",
                                          "Enable", "Single"));
    EXPECT_THAT(Prompts.TextsOf(TRecordingPrompts::pkException), ElementsAre(HasSubstr("abc")));
    EXPECT_EQ(View().Asked(protocol::ccSettingsQuery), 1);
    EXPECT_TRUE(SerialPortOpen());
}

TEST_F(TBoxReentranceTest, GarbageThatKeepsComingUnderTheErrorBoxIsLoggedNotStacked) {
    Build(ScriptedComPort());
    Form().BnLoopDetectClick();
    ArriveOnSerial("0,bad1,80,250,5,1,0,2\r");
    Prompts.WhileOpen = [&] {
        for (const char* reply : {"0,bad2,80,250,5,1,0,2\r", "0,bad3,80,250,5,1,0,2\r"}) {
            Tick(101);
            ArriveOnSerial(reply);
            Tick(11);
        }
    };
    Tick(11);
    EXPECT_THAT(Prompts.TextsOf(TRecordingPrompts::pkException), ElementsAre(HasSubstr("bad1")));
    EXPECT_EQ(CountLogStartingWith("'bad2'"), 1);
    EXPECT_EQ(CountLogStartingWith("'bad3'"), 1);

    // With the box closed, the next failure is shown again.
    Prompts.WhileOpen = nullptr;
    Tick(101);
    ArriveOnSerial("0,bad4,80,250,5,1,0,2\r");
    Tick(11);
    EXPECT_EQ(Prompts.TextsOf(TRecordingPrompts::pkException).size(), 2U);
}

TEST_F(TBoxReentranceTest, TheScaleQueryEndsOnceWhenTicksRunUnderItsErrorBox) {
    Build(ScriptedComPort());
    QSignalSpy scaleEnded(&Session(), &session::TCutterSession::ScaleQueryEnded);
    Session().SendScaleQuery();
    ArriveOnSerial("0,1000,x\r");
    Prompts.WhileOpen = [&] { Tick(30); };
    Tick(11);
    EXPECT_EQ(scaleEnded.count(), 1);
    EXPECT_EQ(CountLogStartingWith("接收:"), 1);
    EXPECT_EQ(Prompts.Shown.size(), 1U);
}

} // namespace
} // namespace app::polltest
