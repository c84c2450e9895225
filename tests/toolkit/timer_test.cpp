#include "toolkit/qt_prompts.h"
#include "toolkit/timer.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QTimer>

#include <climits>
#include <ostream>

namespace {

using toolkit::TTimer;

struct IntervalCase {
    int nominal;
    int delivered;
};

void PrintTo(const IntervalCase& c, std::ostream* os) {
    *os << c.nominal << " ms";
}

class TimerDelivers : public testing::TestWithParam<IntervalCase> {};

TEST_P(TimerDelivers, AtTheNextMultipleOfTheResolution) {
    TTimer timer;
    timer.SetInterval(GetParam().nominal);
    EXPECT_EQ(timer.Interval(), GetParam().nominal);
    EXPECT_EQ(timer.DeliveredInterval(), GetParam().delivered);
}

INSTANTIATE_TEST_SUITE_P(Intervals, TimerDelivers,
                         testing::Values(IntervalCase{1, 16}, IntervalCase{15, 16},
                                         IntervalCase{16, 16}, IntervalCase{17, 32},
                                         IntervalCase{1000, 1008}, IntervalCase{0, 0},
                                         IntervalCase{-5, 0}, IntervalCase{INT_MAX, INT_MAX}));

// Runs the event loop until `ticks` reaches `wanted` or a generous deadline passes.
void ProcessEventsUntil(const int& ticks, int wanted, int deadlineMs) {
    QDeadlineTimer deadline(deadlineMs);
    while (ticks < wanted && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
}

TEST(Timer, EnabledTimerCallsOnTimerAndDisabledOneStops) {
    int argc = 1;
    char name[] = "timer_test";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);

    TTimer timer;
    int ticks = 0;
    timer.OnTimer = [&ticks] { ++ticks; };
    timer.SetInterval(1);
    ProcessEventsUntil(ticks, 3, 10000);
    EXPECT_GE(ticks, 3);

    timer.SetEnabled(false);
    const int ticksWhenStopped = ticks;
    ProcessEventsUntil(ticks, ticksWhenStopped + 1, 200);
    EXPECT_EQ(ticks, ticksWhenStopped);
}

// A handler that opens a real modal box (its own event loop) keeps getting ticks while the
// box is open, one level down as well: a tick under the box opens a second box once.
TEST(Timer, TicksGoOnWhileTheirOwnHandlerWaitsInAModalBox) {
    int argc = 1;
    char name[] = "timer_test";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    toolkit::TQtPrompts prompts;

    TTimer timer;
    timer.SetInterval(1);
    int depth = 0;
    int ticksUnderFirstBox = 0;
    int ticksUnderSecondBox = 0;
    const auto answerInnermostBox = [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box != nullptr) {
            box->button(QMessageBox::Ok)->click();
        }
    };
    timer.OnTimer = [&] {
        switch (depth) {
        case 0:
            ++depth;
            prompts.MessageBox("first");
            --depth;
            timer.SetEnabled(false);
            break;
        case 1:
            ++ticksUnderFirstBox;
            if (ticksUnderFirstBox == 3) {
                ++depth;
                prompts.MessageBox("second");
                --depth;
            } else if (ticksUnderFirstBox == 6) {
                answerInnermostBox();
            }
            break;
        default:
            if (++ticksUnderSecondBox == 3) {
                answerInnermostBox();
            }
        }
    };
    // Without ticks under the boxes nothing would answer them: a bounded way out.
    QTimer rescue;
    QObject::connect(&rescue, &QTimer::timeout, answerInnermostBox);
    rescue.start(5000);
    QDeadlineTimer deadline(30000);
    while (timer.Enabled() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    EXPECT_EQ(ticksUnderSecondBox, 3);
    EXPECT_EQ(ticksUnderFirstBox, 6);
    EXPECT_FALSE(timer.Enabled());
}

} // namespace
