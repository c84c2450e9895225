// SPDX-License-Identifier: GPL-3.0-or-later
// Timer1 parked while no query is outstanding. Here the window keeps its own timer (the
// harness's hand-driven clock is given back to it), so every exchange below is carried
// by real ticks: a sender whose ticks did not resume would never see its reply decoded.

#include "tests/app/app_test_support.h"

#include "dialogs/about_form.h"
#include "dialogs/save_data_form.h"
#include "dialogs/wizard_flow.h"

#include <gmock/gmock.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace app::polltest {
namespace {

// Bounds each wait for real ticks: an exchange needs about a dozen 16 ms ticks, a
// sanitizer build on a busy machine may need far longer, and a broken parking never ends.
constexpr int kWaitLimitMs = 10000;
// Long enough for several ticks to come if the timer were still running.
constexpr int kSeveralTicksMs = 6 * toolkit::kSystemTimerResolution;

class TTickParkingTest : public TPollTest {
protected:
    // Builds the window over the bench and lets its own timer run, counting each tick
    // delivered; returns once the idle window has parked the timer.
    void BuildTicking(const TBench& bench = {}) {
        TMainForm& form = Build(bench);
        const std::function<void()> tick = form.Session().Timer1.OnTimer;
        form.Session().Timer1.OnTimer = [this, tick] {
            ++TicksDelivered;
            tick();
        };
        form.Session().Timer1.SetEnabled(true);
        ASSERT_TRUE(WaitUntil([this] { return Parked(); })) << "the idle window never parked";
    }

    bool Parked() { return !Session().Timer1.Enabled(); }

    static bool WaitUntil(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, kWaitLimitMs);
    }

    // Whether ticks stopped coming: none during a span that would hold several.
    bool NoTicksFor(int milliseconds) {
        const int before = TicksDelivered;
        QTest::qWait(milliseconds);
        return TicksDelivered == before;
    }

    int TicksDelivered = 0;
};

TEST_F(TTickParkingTest, AnIdleWindowParksAtItsFirstTickAndGetsNoMore) {
    BuildTicking();
    EXPECT_EQ(TicksDelivered, 1);
    EXPECT_TRUE(NoTicksFor(kSeveralTicksMs));
    EXPECT_THAT(Log(), ::testing::IsEmpty());
}

// A query sender, and what shows that its reply was decoded.
struct TSender {
    const char* Name;
    void (*Send)(TMainForm& form);
    bool (*Decoded)(const TMainForm& form);
};

const TSender kQuerySenders[] = {
    {"PollSize", [](TMainForm& form) { form.BnPollSizeClick(); },
     [](const TMainForm& form) { return PanelTexts(form)[1] == "1250 mm"; }},
    {"FirmwareQuery", [](TMainForm& form) { form.Session().SendFirmwareQuery(); },
     [](const TMainForm& form) { return form.Session().Settings().FirmwareModel == "TC-60"; }},
    {"ScaleQuery", [](TMainForm& form) { form.Session().SendScaleQuery(); },
     [](const TMainForm& form) { return form.Session().ScaleRepliesDecoded() == 1; }},
};

class TSenderExchangeTest : public TTickParkingTest,
                            public ::testing::WithParamInterface<std::tuple<TSender, const char*>> {
};

TEST_P(TSenderExchangeTest, TicksResumeForTheReplyAndParkOnceItIsDecoded) {
    const auto& [sender, port] = GetParam();
    BuildTicking(OnLink(port));

    sender.Send(Form());
    EXPECT_FALSE(Parked());
    DeliverAll();
    EXPECT_TRUE(WaitUntil([&] { return sender.Decoded(Form()); })) << "the reply never decoded";
    EXPECT_FALSE(Session().QueryOutstanding());
    EXPECT_TRUE(WaitUntil([this] { return Parked(); }));
    EXPECT_TRUE(NoTicksFor(kSeveralTicksMs));
    EXPECT_THAT(Prompts.Shown, ::testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(EachQuerySenderOnEachLink, TSenderExchangeTest,
                         ::testing::Combine(::testing::ValuesIn(kQuerySenders),
                                            ::testing::Values(kSerialPort, kUsbPort)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).Name) + "On" +
                                    std::get<1>(info.param);
                         });

TEST_F(TTickParkingTest, SilentCutterIsStillGivenUpAfterElevenTicksAndTheTimerParks) {
    BuildTicking(OnLink(kSerialPort, SilentCutter()));

    Form().BnPollSizeClick();
    EXPECT_FALSE(Parked());
    ASSERT_TRUE(WaitUntil([this] { return !Prompts.Shown.empty(); }));
    EXPECT_EQ(Prompts.TextsOf(TRecordingPrompts::pkMessageBox),
              std::vector<std::string>{session::kDeviceNotFoundText});
    EXPECT_EQ(Session().ExchangeState().FPollSizeRequest, 0);
    EXPECT_TRUE(WaitUntil([this] { return Parked(); }));
    // The first tick parked the idle window; eleven silent ones gave up; one more parked.
    EXPECT_EQ(TicksDelivered, 1 + 11 + 1);
}

// The sender's flag stays set when the link cannot be made ready, so the ticks must
// resume before the sequence stops: they bring the box that tells the operator.
TEST_F(TTickParkingTest, QueryOnAMissingUsbDeviceStillEndsInTheSilenceBox) {
    TBench bench;
    bench.PortText = kUsbPort;
    BuildTicking(bench);

    Session().SendFirmwareQuery();
    ASSERT_EQ(CountLog(session::kDeviceNotFoundText), 1);
    EXPECT_TRUE(WaitUntil([this] { return !Prompts.Shown.empty(); }));
    EXPECT_EQ(Prompts.TextsOf(TRecordingPrompts::pkMessageBox),
              std::vector<std::string>{session::kDeviceNotFoundText});
    EXPECT_TRUE(WaitUntil([this] { return Parked(); }));
}

TEST_F(TTickParkingTest, LoopDetectKeepsTheTimerRunningUntilDisDetectParksIt) {
    BuildTicking();
    Form().BnLoopDetectClick();
    DeliverAll();
    ASSERT_TRUE(WaitUntil([this] { return !Session().Settings().Force.empty(); }));
    const int ticksAfterReply = TicksDelivered;
    EXPECT_TRUE(WaitUntil([&] { return TicksDelivered > ticksAfterReply + 2; }))
        << "the monitor must keep ticking between replies";

    Form().BnDisDetectClick();
    EXPECT_TRUE(WaitUntil([this] { return Parked(); }));
    EXPECT_TRUE(NoTicksFor(kSeveralTicksMs));
    EXPECT_THAT(Prompts.Shown, ::testing::IsEmpty());
}

TEST_F(TTickParkingTest, PortChangeAbandonsTheQueryAndParksTheTimerWithoutABox) {
    BuildTicking();
    Form().BnPollSizeClick();
    EXPECT_FALSE(Parked());

    ChoosePort(kSerialPort);
    EXPECT_TRUE(WaitUntil([this] { return Parked(); }));
    EXPECT_TRUE(NoTicksFor(kSeveralTicksMs));
    EXPECT_THAT(Prompts.Shown, ::testing::IsEmpty());
    EXPECT_EQ(CountLogStartingWith("接收:"), 0);
}

// A timer stopped from outside is not the session's to start: a test that ticks by hand
// stays the only clock.
TEST_F(TTickParkingTest, ATimerStoppedFromOutsideStaysStoppedWhenASenderSetsAFlag) {
    Build();
    Session().Timer1.SetEnabled(false);
    Session().Timer1Timer();
    Form().BnPollSizeClick();
    EXPECT_FALSE(Session().Timer1.Enabled());
}

// The dialogs reach the poll cycle through the main window's senders; their exchanges
// are carried by the same ticks.
class TDialogExchangeTest : public TTickParkingTest {
protected:
    void BuildWithDialogs() {
        BuildTicking();
        FFlow.emplace(Form());
    }

    std::optional<dialogs::TWizardFlow> FFlow;
};

TEST_F(TDialogExchangeTest, AboutDialogShowsTheFirmwareItAskedForOnShow) {
    BuildWithDialogs();
    bool resumedOnShow = false;
    bool firmwareShown = false;
    QTimer::singleShot(0, [&] {
        resumedOnShow = !Parked();
        DeliverAll();
        firmwareShown = WaitUntil(
            [this] { return FFlow->AboutForm()->LaModel->text() == QStringLiteral("TC-60"); });
        QTest::mouseClick(FFlow->AboutForm()->BnOk, Qt::LeftButton);
        if (FFlow->AboutForm()->isVisible()) {
            FFlow->AboutForm()->reject();
        }
    });
    Form().BnAboutClick();

    EXPECT_TRUE(resumedOnShow);
    EXPECT_TRUE(firmwareShown);
    EXPECT_TRUE(WaitUntil([this] { return Parked(); }));
    EXPECT_THAT(Prompts.Shown, ::testing::IsEmpty());
}

TEST_F(TDialogExchangeTest, WizardSaveReadsTheScaleThePasswordStepWaitsFor) {
    BuildWithDialogs();
    FFlow->SaveDataForm()->show();
    QTest::mouseClick(FFlow->SaveDataForm()->BnSave, Qt::LeftButton);
    EXPECT_FALSE(Parked());

    DeliverAll();
    EXPECT_TRUE(WaitUntil([this] { return Session().ScaleRepliesDecoded() == 1; }));
    EXPECT_EQ(Session().Settings().ScaleX, 1000);
    EXPECT_TRUE(WaitUntil([this] { return Parked(); }));
    EXPECT_THAT(Prompts.Shown, ::testing::IsEmpty());
}

} // namespace
} // namespace app::polltest
