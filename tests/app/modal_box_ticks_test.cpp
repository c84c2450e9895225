// SPDX-License-Identifier: GPL-3.0-or-later
// A real modal box opened from a tick: its own event loop runs while the tick handler waits
// in it, and the poll cycle must go on under it, as the operator sees it on the screen.
// The monitor's error box here is the real message box, not a recording.

#include "tests/app/app_test_support.h"

#include "toolkit/qt_prompts.h"

#include <gmock/gmock.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

namespace app::polltest {
namespace {

// Bounds each wait for real ticks; a sanitizer build on a busy machine is slow, and a tick
// that never comes under the box must fail the test, not hang it.
constexpr int kWaitLimitMs = 20000;

const std::string kSettingsQueryLogged = "發送命令:\x1b.R1:";

class TRealModalBoxTest : public TPollTest {
protected:
    // Each box the window records opens a real modal box with its text, and `underBox`
    // runs inside that box's event loop before OK is clicked.
    void ShowRealBoxes(std::function<void()> underBox) {
        Prompts.WhileOpen = [this, underBox = std::move(underBox)] {
            QTimer::singleShot(0, [this, underBox] {
                OpenBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (OpenBox != nullptr) {
                    underBox();
                    OpenBox->button(QMessageBox::Ok)->click();
                }
            });
            toolkit::TQtPrompts().ShowException(Prompts.Shown.back().Text);
            BoxClosed = true;
        };
    }

    static bool WaitUntil(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, kWaitLimitMs);
    }

    bool BoxStillOpen() const { return QApplication::activeModalWidget() == OpenBox; }

    QMessageBox* OpenBox = nullptr; // while it is open
    bool BoxClosed = false;
};

TEST_F(TRealModalBoxTest, TheMonitorDecodesLogsAndResendsUnderItsErrorBox) {
    TBench bench;
    bench.ScriptedSerial = true;
    Build(bench);
    View().Timer1().SetEnabled(true);
    bool secondFailureLogged = false;
    bool replyDecoded = false;
    bool queryResent = false;
    bool boxOpenThroughout = false;
    // Under the box the monitor resends its query and takes the replies to it: a second
    // bad one goes to the log (no box on the box), a good one reaches the panel.
    ShowRealBoxes([&] {
        queryResent = WaitUntil([this] { return CountLog(kSettingsQueryLogged) == 2; });
        ArriveOnSerial("0,bad2,80,250,5,1,0,2\r");
        secondFailureLogged = WaitUntil([this] { return CountLogStartingWith("'bad2'") == 1; });
        WaitUntil([this] { return CountLog(kSettingsQueryLogged) == 3; });
        ArriveOnSerial("0,31,90,300,4,0,1,1\r");
        replyDecoded = WaitUntil([this] { return PanelTexts()[2] == "90"; });
        boxOpenThroughout = BoxStillOpen();
    });

    Form().BnLoopDetectClick();
    ArriveOnSerial("0,bad1,80,250,5,1,0,2\r");
    ASSERT_TRUE(WaitUntil([this] { return !Prompts.Shown.empty(); }));
    ASSERT_TRUE(WaitUntil([this] { return BoxClosed; }));

    EXPECT_TRUE(secondFailureLogged) << "no decode under the box";
    EXPECT_TRUE(replyDecoded) << "the reply sent under the box was not decoded before OK";
    EXPECT_TRUE(queryResent) << "the monitor did not resend under the box";
    EXPECT_TRUE(boxOpenThroughout);
    EXPECT_THAT(Prompts.TextsOf(TRecordingPrompts::pkException),
                ::testing::ElementsAre(::testing::HasSubstr("'bad1'")));
    Form().BnDisDetectClick();
}

// The boxes a tick reports open once that tick has returned, from the event loop: a modal
// loop never runs inside a tick handler.
TEST_F(TPollTest, BoxesOpenOnlyAfterTheTickThatReportedThemHasReturned) {
    Build(OnLink(kSerialPort, SilentCutter()));
    bool inTick = false;
    std::vector<bool> openedInTick;
    const std::function<void()> tick = View().Timer1().OnTimer;
    View().Timer1().OnTimer = [&inTick, tick] {
        inTick = true;
        tick();
        inTick = false;
    };
    Prompts.WhileOpen = [&] { openedInTick.push_back(inTick); };
    View().Timer1().SetEnabled(true);
    Form().BnPollSizeClick();
    ASSERT_TRUE(QTest::qWaitFor([this] { return Prompts.Shown.size() == 1; }, kWaitLimitMs));
    Form().BnLoopDetectClick();
    ASSERT_TRUE(QTest::qWaitFor([this] { return Prompts.Shown.size() == 2; }, kWaitLimitMs));
    EXPECT_THAT(openedInTick, ::testing::ElementsAre(false, false));
}

} // namespace
} // namespace app::polltest
