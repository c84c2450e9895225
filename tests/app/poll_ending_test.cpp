// SPDX-License-Identifier: GPL-3.0-or-later
// How exchanges end when a box is shown: a reply that does not decode still ends its
// query, and whatever arrives while a box is open finds the request already ended.

#include "tests/app/app_test_support.h"

#include <gmock/gmock.h>

#include <QPushButton>
#include <QSignalSpy>

namespace app::polltest {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TBench ScriptedComPort() {
    TBench bench;
    bench.ScriptedSerial = true;
    return bench;
}

struct TMalformedCase {
    const char* Name;
    TFormAction Send;
    std::int32_t TExchangeState::*Flag;
    std::int32_t TExchangeState::*SettleTicks;
    const char* Reply;
    const char* FailingField; // null: the decoder converts nothing and cannot fail
    // The panel or scale values after the reply: those before the bad field are set.
    std::function<void(const TMainForm&)> CheckValues;
};

const TMalformedCase kMalformedReplies[] = {
    {"PollSize", &OnForm<&TMainForm::BnPollSizeClick>, &TExchangeState::FPollSizeRequest,
     &TExchangeState::FPollSizeSettleTicks, "0,0,24000,12x\r", "12x",
     [](const TMainForm& form) {
         EXPECT_THAT(PanelTexts(form), ElementsAre("600 mm", "", "", "", "", "", "", "", ""));
     }},
    {"Settings", &OnForm<&TMainForm::BnLoopDetectClick>, &TExchangeState::FLoopDetect,
     &TExchangeState::FSettingsSettleTicks, "0,30,80,2.5.0,5,1,0,2\r", "2.5.0",
     [](const TMainForm& form) {
         EXPECT_THAT(PanelTexts(form), ElementsAre("", "", "80", "", "Light", "", "", "", ""));
     }},
    {"Firmware", &OnForm<&session::TCutterSession::SendFirmwareQuery>,
     &TExchangeState::FFirmwareRequest, &TExchangeState::FFirmwareSettleTicks,
     "\x7f\x80\xfe garbage", nullptr,
     [](const TMainForm& form) {
         EXPECT_THAT(form.Session().Settings().FirmwareModel, IsEmpty());
     }},
    {"Scale", &OnForm<&session::TCutterSession::SendScaleQuery>, &TExchangeState::FScaleReadRequest,
     &TExchangeState::FScaleSettleTicks, "0,1010,99z\r", "99z",
     [](const TMainForm& form) {
         // Not a reading: nothing of it is taken, not even the field before the bad one.
         EXPECT_EQ(form.Session().Settings().ScaleX, 0);
         EXPECT_EQ(form.Session().Settings().ScaleY, 0);
         EXPECT_EQ(form.Session().ScaleRepliesDecoded(), 0);
     }},
};

class TMalformedReplyTest : public TPollTest,
                            public ::testing::WithParamInterface<TMalformedCase> {};

TEST_P(TMalformedReplyTest, EndsTheExchangeOnceAndThenNamesTheField) {
    const TMalformedCase& test = GetParam();
    const bool monitor = test.Flag == &TExchangeState::FLoopDetect;
    Build(ScriptedComPort());
    QSignalSpy scaleEnded(&Session(), &session::TCutterSession::ScaleQueryEnded);
    test.Send(Form());
    ArriveOnSerial(test.Reply);

    bool endedBeforeTheBox = false;
    Prompts.WhileOpen = [&] {
        endedBeforeTheBox = Session().ExchangeState().FReplyText.empty() &&
                            Session().ExchangeState().*test.SettleTicks == 0 &&
                            Session().ExchangeState().*test.Flag == (monitor ? 1 : 0) &&
                            SerialPortOpen() == monitor;
    };
    Tick(11);
    Tick(40);

    EXPECT_EQ(CountLogStartingWith("接收:"), 1);
    EXPECT_THAT(Session().ExchangeState().FReplyText, IsEmpty());
    EXPECT_EQ(Session().ExchangeState().*test.SettleTicks, 0);
    EXPECT_EQ(Session().ExchangeState().*test.Flag, monitor ? 1 : 0);
    EXPECT_EQ(SerialPortOpen(), monitor);
    test.CheckValues(Form());
    if (test.FailingField != nullptr) {
        EXPECT_TRUE(endedBeforeTheBox);
        EXPECT_THAT(Prompts.TextsOf(TRecordingPrompts::pkException),
                    ElementsAre(HasSubstr(test.FailingField)));
    } else {
        EXPECT_THAT(Prompts.Shown, IsEmpty());
    }
    if (test.Flag == &TExchangeState::FScaleReadRequest) {
        ASSERT_EQ(scaleEnded.count(), 1);
        EXPECT_FALSE(scaleEnded.front().front().toBool());
    }
}

INSTANTIATE_TEST_SUITE_P(EachBlock, TMalformedReplyTest, ::testing::ValuesIn(kMalformedReplies),
                         [](const auto& info) { return std::string(info.param.Name); });

using TCutShortReplyTest = TPollTest;

// A slow line lets the 11-tick rule settle on part of a reply: "0,1000,9" of
// "0,1000,998\r" would make the wizard write a Y scale of 9 into the cutter's flash.
TEST_F(TCutShortReplyTest, AScaleReplyWithoutItsCarriageReturnIsNotTaken) {
    Build(ScriptedComPort());
    QSignalSpy scaleEnded(&Session(), &session::TCutterSession::ScaleQueryEnded);
    Session().SendScaleQuery();
    ArriveOnSerial("0,10");
    Tick(6);
    ArriveOnSerial("00,9");
    Tick(5);

    EXPECT_EQ(Session().ExchangeState().FScaleReadRequest, 0);
    EXPECT_EQ(Session().Settings().ScaleX, 0);
    EXPECT_EQ(Session().Settings().ScaleY, 0);
    EXPECT_EQ(Session().ScaleRepliesDecoded(), 0);
    ASSERT_EQ(scaleEnded.count(), 1);
    EXPECT_FALSE(scaleEnded.front().front().toBool());
    EXPECT_THAT(Prompts.TextsOf(TRecordingPrompts::pkException),
                ElementsAre(HasSubstr("was not a scale reading")));
}

TEST_F(TCutShortReplyTest, AFloodOnTheLineIsCutBeforeItIsDecoded) {
    Build(ScriptedComPort());
    Form().BnPollSizeClick();
    ArriveOnSerial(std::string(60000, ','));
    Tick();
    EXPECT_EQ(Session().ExchangeState().FReplyText.size(), 16384U);
    Tick(10);
    EXPECT_LE(CountLogStartingWith(""), 16400) << "one log line per field of the cut reply";
}

using TBoxReentranceTest = TPollTest;

TEST_F(TBoxReentranceTest, TicksAndASerialEventUnderTheSilenceBoxFindTheQueryEnded) {
    Build(OnLink(kSerialPort, SilentCutter()));
    Form().BnPollSizeClick();
    Prompts.WhileOpen = [&] {
        Tick(30);
        Session().Comm1RxChar(&Session().Comm1, 8);
        EXPECT_EQ(Session().ExchangeState().FPollSizeRequest, 0);
        EXPECT_EQ(Session().ExchangeState().FSilenceTicks, 0);
    };
    Tick(11);
    EXPECT_EQ(Prompts.Shown.size(), 1U);
    EXPECT_THAT(Session().ExchangeState().FReplyText, IsEmpty());
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
    EXPECT_EQ(Session().ExchangeState().FLoopDetect, 0);
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
    EXPECT_EQ(Session().ExchangeState().FLoopDetect, 1);
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
