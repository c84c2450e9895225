// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/timer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

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

} // namespace
