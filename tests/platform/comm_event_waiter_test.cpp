// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/comm_event_waiter.h"

#include "serial_pty_fixture.h"

#include <gtest/gtest.h>

#include <future>
#include <sys/ioctl.h>
#include <thread>

namespace platform::test {
namespace {

using devlink::TWaitResult;
using namespace std::chrono_literals;

struct TEventCase {
    std::string Description;
    TLineSnapshot Before;
    TLineSnapshot After;
    std::uint32_t Events;
};

void PrintTo(const TEventCase& event, std::ostream* out) {
    *out << event.Description;
}

TLineSnapshot WithInput(std::uint64_t received, std::uint32_t inQueue) {
    TLineSnapshot snapshot;
    snapshot.Received = received;
    snapshot.InQueue = inQueue;
    return snapshot;
}

TLineSnapshot WithOutput(std::uint64_t written, std::uint32_t outQueue) {
    TLineSnapshot snapshot;
    snapshot.Written = written;
    snapshot.OutQueue = outQueue;
    return snapshot;
}

TLineSnapshot WithLines(std::optional<int> lines) {
    TLineSnapshot snapshot;
    snapshot.ModemLines = lines;
    return snapshot;
}

TLineSnapshot WithCounts(int TErrorCounts::*counter, int value) {
    TLineSnapshot snapshot;
    snapshot.Counts = TErrorCounts{};
    (*snapshot.Counts).*counter = value;
    return snapshot;
}

// A line with modem lines and counters, as a UART has.
TLineSnapshot WithRing(bool ringing, int ringsCounted) {
    TLineSnapshot snapshot = WithCounts(&TErrorCounts::rng, ringsCounted);
    snapshot.ModemLines = ringing ? TIOCM_RNG : 0;
    return snapshot;
}

class EventsBetweenSnapshots : public ::testing::TestWithParam<TEventCase> {};

TEST_P(EventsBetweenSnapshots, NameWhatChanged) {
    EXPECT_EQ(EventsBetween(GetParam().Before, GetParam().After), GetParam().Events);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, EventsBetweenSnapshots,
    ::testing::Values(
        TEventCase{"nothing", WithInput(5, 5), WithInput(5, 5), 0},
        TEventCase{"input grew", WithInput(5, 5), WithInput(8, 8), devlink::kEvRxChar},
        TEventCase{"input read, none new", WithInput(5, 5), WithInput(5, 0), 0},
        TEventCase{"input read and new came", WithInput(5, 5), WithInput(9, 4), devlink::kEvRxChar},
        TEventCase{"output drained", WithOutput(10, 6), WithOutput(10, 0), devlink::kEvTxEmpty},
        TEventCase{"output went out between looks", WithOutput(10, 0), WithOutput(14, 0),
                   devlink::kEvTxEmpty},
        TEventCase{"output still queued", WithOutput(10, 6), WithOutput(14, 2), 0},
        TEventCase{"cts", WithLines(0), WithLines(TIOCM_CTS), devlink::kEvCts},
        TEventCase{"dsr", WithLines(TIOCM_DSR), WithLines(0), devlink::kEvDsr},
        TEventCase{"carrier", WithLines(0), WithLines(TIOCM_CD), devlink::kEvRlsd},
        TEventCase{"ring starts", WithLines(0), WithLines(TIOCM_RNG), devlink::kEvRing},
        TEventCase{"ring ends", WithLines(TIOCM_RNG), WithLines(0), 0},
        TEventCase{"ring pulse counted", WithCounts(&TErrorCounts::rng, 0),
                   WithCounts(&TErrorCounts::rng, 1), devlink::kEvRing},
        TEventCase{"ring pulse on a UART, its start", WithRing(false, 0), WithRing(true, 0), 0},
        TEventCase{"ring pulse on a UART, its end", WithRing(true, 0), WithRing(false, 1),
                   devlink::kEvRing},
        TEventCase{"own lines only", WithLines(TIOCM_DTR), WithLines(TIOCM_RTS), 0},
        TEventCase{"lines unknown", WithLines(std::nullopt), WithLines(TIOCM_CTS), 0},
        TEventCase{"cts pulse", WithCounts(&TErrorCounts::cts, 0),
                   WithCounts(&TErrorCounts::cts, 2), devlink::kEvCts},
        TEventCase{"break", WithCounts(&TErrorCounts::brk, 0), WithCounts(&TErrorCounts::brk, 1),
                   devlink::kEvBreak},
        TEventCase{"framing error", WithCounts(&TErrorCounts::frame, 3),
                   WithCounts(&TErrorCounts::frame, 4), devlink::kEvErr},
        TEventCase{"overrun", WithCounts(&TErrorCounts::overrun, 0),
                   WithCounts(&TErrorCounts::overrun, 1), devlink::kEvErr},
        TEventCase{"buffer overrun", WithCounts(&TErrorCounts::buf_overrun, 0),
                   WithCounts(&TErrorCounts::buf_overrun, 1), devlink::kEvErr},
        TEventCase{"bytes counted only", WithCounts(&TErrorCounts::rx, 0),
                   WithCounts(&TErrorCounts::rx, 100), 0}));

TEST(CommErrors, NameEachCounterThatMoved) {
    TErrorCounts before{};
    TErrorCounts after{};
    after.frame = 1;
    after.overrun = 2;
    after.parity = 1;
    after.brk = 1;
    after.buf_overrun = 5;
    EXPECT_EQ(CommErrorsBetween(before, after), devlink::kCeFrame | devlink::kCeOverrun |
                                                    devlink::kCeRxParity | devlink::kCeBreak |
                                                    devlink::kCeRxOver);
    EXPECT_EQ(CommErrorsBetween(after, after), 0u);
}

class LinuxEventWaiter : public TSerialPtyFixture {
protected:
    LinuxEventWaiter() : FHandle(OpenPort()), FWaiter(FApi.CreateEventWaiter(FHandle)) {}

    // A wait on its own thread, as the event thread makes it.
    std::future<std::pair<TWaitResult, std::uint32_t>> WaitAsync() {
        return std::async(std::launch::async, [this] {
            std::uint32_t mask = 0;
            const TWaitResult result = FWaiter->Wait(mask);
            return std::make_pair(result, mask);
        });
    }

    devlink::THandle FHandle;
    std::unique_ptr<devlink::TCommEventWaiter> FWaiter;
};

TEST_F(LinuxEventWaiter, ReportsReceivedCharactersWhenBytesArrive) {
    ASSERT_NE(FWaiter, nullptr);
    auto wait = WaitAsync();
    std::this_thread::sleep_for(50ms);
    FPty.Send("OH");
    ASSERT_EQ(wait.wait_for(5s), std::future_status::ready);
    const auto [result, mask] = wait.get();
    EXPECT_EQ(result, TWaitResult::wrEvent);
    EXPECT_EQ(mask, devlink::kEvRxChar);
}

TEST_F(LinuxEventWaiter, ReportsInputWaitingAtCreation) {
    FWaiter.reset();
    FPty.Send("early");
    std::this_thread::sleep_for(50ms);
    FWaiter = FApi.CreateEventWaiter(FHandle);
    auto wait = WaitAsync();
    ASSERT_EQ(wait.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(wait.get().second, devlink::kEvRxChar);
}

TEST_F(LinuxEventWaiter, ReportsUnreadInputOnceAndMoreInputAgain) {
    FPty.Send("first");
    auto first = WaitAsync();
    ASSERT_EQ(first.wait_for(5s), std::future_status::ready);
    ASSERT_EQ(first.get().second, devlink::kEvRxChar);

    auto second = WaitAsync(); // "first" is still unread
    EXPECT_EQ(second.wait_for(200ms), std::future_status::timeout);
    FPty.Send("more");
    ASSERT_EQ(second.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(second.get(), std::make_pair(TWaitResult::wrEvent, devlink::kEvRxChar));
}

TEST_F(LinuxEventWaiter, ReportsOnlyEventsInTheMask) {
    ASSERT_TRUE(FApi.SetCommMask(FHandle, devlink::kEvTxEmpty));
    auto wait = WaitAsync();
    FPty.Send("ignored");
    EXPECT_EQ(wait.wait_for(200ms), std::future_status::timeout);
    auto record = FApi.CreateTransferRecord();
    std::uint32_t written = 0;
    ASSERT_EQ(FApi.WriteFile(FHandle, *record, "OH;", 3, written), devlink::TIoStatus::ioDone);
    ASSERT_EQ(wait.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(wait.get(), std::make_pair(TWaitResult::wrEvent, devlink::kEvTxEmpty));
}

TEST_F(LinuxEventWaiter, CancelEndsAWaitUnderWayAndEveryLaterOne) {
    auto wait = WaitAsync();
    EXPECT_EQ(wait.wait_for(100ms), std::future_status::timeout);
    FWaiter->Cancel();
    ASSERT_EQ(wait.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(wait.get().first, TWaitResult::wrCancelled);
    FPty.Send("late");
    std::uint32_t mask = 0;
    EXPECT_EQ(FWaiter->Wait(mask), TWaitResult::wrCancelled);
    EXPECT_TRUE(FWaiter->Pause(60000));
}

TEST_F(LinuxEventWaiter, CancelEndsAPauseUnderWay) {
    auto pause = std::async(std::launch::async, [this] { return FWaiter->Pause(60000); });
    EXPECT_EQ(pause.wait_for(100ms), std::future_status::timeout);
    FWaiter->Cancel();
    ASSERT_EQ(pause.wait_for(5s), std::future_status::ready);
    EXPECT_TRUE(pause.get());
}

TEST_F(LinuxEventWaiter, PauseRunsItsTimeWhenNotCancelled) {
    EXPECT_FALSE(FWaiter->Pause(10));
}

TEST_F(LinuxEventWaiter, ClosingTheHandleEndsAWaitUnderWay) {
    auto wait = WaitAsync();
    EXPECT_EQ(wait.wait_for(100ms), std::future_status::timeout);
    EXPECT_TRUE(FApi.CloseHandle(FHandle));
    ASSERT_EQ(wait.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(wait.get().first, TWaitResult::wrCancelled);
}

TEST_F(LinuxEventWaiter, HangUpIsReportedAndWaitingOnItCostsNoCpu) {
    auto wait = WaitAsync();
    FPty.CloseMaster();
    ASSERT_EQ(wait.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(wait.get().first, TWaitResult::wrHungUp);

    // The event thread's loop once the device is gone: wait, pause, wait again.
    auto loop = std::async(std::launch::async, [this] {
        const auto cpuBefore = ThreadCpuTime();
        const auto end = std::chrono::steady_clock::now() + 1s;
        int hangUps = 0;
        while (std::chrono::steady_clock::now() < end) {
            std::uint32_t mask = 0;
            if (FWaiter->Wait(mask) == TWaitResult::wrHungUp) {
                ++hangUps;
                FWaiter->Pause(50);
            }
        }
        return std::make_pair(hangUps, ThreadCpuTime() - cpuBefore);
    });
    ASSERT_EQ(loop.wait_for(10s), std::future_status::ready);
    const auto [hangUps, cpu] = loop.get();
    EXPECT_GT(hangUps, 5);
    EXPECT_LT(cpu, 100ms) << "the loop spun for "
                          << std::chrono::duration_cast<std::chrono::milliseconds>(cpu).count()
                          << " ms of CPU";
}

TEST_F(LinuxEventWaiter, WaitingWithUnreadInputCostsNoCpu) {
    FPty.Send("unread");
    std::uint32_t mask = 0;
    ASSERT_EQ(FWaiter->Wait(mask), TWaitResult::wrEvent);
    auto idle = std::async(std::launch::async, [this] {
        const auto cpuBefore = ThreadCpuTime();
        std::uint32_t mask = 0;
        const TWaitResult result = FWaiter->Wait(mask);
        return std::make_pair(result, ThreadCpuTime() - cpuBefore);
    });
    EXPECT_EQ(idle.wait_for(1s), std::future_status::timeout);
    FWaiter->Cancel();
    ASSERT_EQ(idle.wait_for(5s), std::future_status::ready);
    const auto [result, cpu] = idle.get();
    EXPECT_EQ(result, TWaitResult::wrCancelled);
    EXPECT_LT(cpu, 100ms);
}

} // namespace
} // namespace platform::test
