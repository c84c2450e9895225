// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/comm.h"
#include "link/comm_event_thread.h"
#include "serial_pty_fixture.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace platform::test {
namespace {

using namespace std::chrono_literals;

QCoreApplication& CoreApplication() {
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    return application;
}

// Runs the main thread's event loop until `done` holds; false when it did not in time.
bool ProcessEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds patience) {
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

std::chrono::nanoseconds ProcessCpuTime() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// The serial port component over the Linux serial operations and a pseudo-terminal, as
// the main window uses it: all nine events monitored, OnRxChar reading what waits.
class CommOverPty : public TSerialPtyFixture {
protected:
    CommOverPty() : FComm(FApi) {
        CoreApplication();
        FComm.SetDeviceName(kPortName);
        FComm.SetMonitorEvents(devlink::kAllCommEvents);
        FComm.OnRxChar = [this](void* sender, std::uint32_t count) {
            EXPECT_EQ(sender, &FComm);
            EXPECT_EQ(std::this_thread::get_id(), FMainThread);
            FCounts.push_back(count);
            std::string buffer(count, '\0');
            const int read = FComm.Read(buffer.data(), count);
            FReceived.append(buffer, 0, static_cast<std::size_t>(std::max(read, 0)));
        };
    }
    ~CommOverPty() override { FComm.Close(); }

    devlink::TComm FComm;
    const std::thread::id FMainThread = std::this_thread::get_id();
    std::vector<std::uint32_t> FCounts;
    std::string FReceived;
};

TEST_F(CommOverPty, ReceivedBytesReachOnRxCharOnTheMainThreadWithTheQueueCount) {
    FComm.Open();
    ASSERT_TRUE(FComm.Enabled());
    FPty.Send("0,0,1520,1200\r");
    ASSERT_TRUE(ProcessEventsUntil([this] { return FReceived.size() >= 14; }, 5s));
    EXPECT_EQ(FReceived, "0,0,1520,1200\r");
    ASSERT_FALSE(FCounts.empty());
    for (std::uint32_t count : FCounts) {
        EXPECT_GT(count, 0u);
    }
}

TEST_F(CommOverPty, WrittenCommandReachesTheFarEnd) {
    FComm.Open();
    ASSERT_TRUE(FComm.Enabled());
    EXPECT_EQ(FComm.Write("OH;", 3), 3);
    EXPECT_EQ(FPty.Receive(3), "OH;");
}

TEST_F(CommOverPty, ASecondComponentOnTheSamePortFindsItBusy) {
    FComm.Open();
    ASSERT_TRUE(FComm.Enabled());
    devlink::TComm second(FApi);
    second.SetDeviceName(kPortName);
    second.Open();
    EXPECT_FALSE(second.Enabled());
    EXPECT_EQ(second.LastError(), devlink::TLinkError::leBusy);
}

TEST_F(CommOverPty, CloseWithAHandOffInFlightReturnsAtOnceAndNoHandlerRunsAfter) {
    FComm.Open();
    ASSERT_TRUE(FComm.Enabled());
    FPty.Send("late reply");
    // The main thread does not dispatch: the event thread waits for it.
    const auto giveUp = std::chrono::steady_clock::now() + 5s;
    while (!FComm.EventThread()->HandOffInFlight() && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(FComm.EventThread()->HandOffInFlight());
    FComm.Close();
    EXPECT_FALSE(FComm.Enabled());
    EXPECT_TRUE(FComm.EventThread()->Finished());
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(FCounts.empty());
    // The port is free again at once.
    FComm.Open();
    EXPECT_TRUE(FComm.Enabled());
}

TEST_F(CommOverPty, UnplugIsSurvivedWithoutSpinningAndThePortStillCloses) {
    FComm.Open();
    ASSERT_TRUE(FComm.Enabled());
    FPty.CloseMaster();
    ProcessEventsUntil([] { return false; }, 200ms);
    const auto cpuBefore = ProcessCpuTime();
    std::this_thread::sleep_for(1s);
    const auto cpu = ProcessCpuTime() - cpuBefore;
    EXPECT_LT(cpu, 150ms) << "the process used "
                          << std::chrono::duration_cast<std::chrono::milliseconds>(cpu).count()
                          << " ms of CPU in the second after the unplug";
    char buffer[8];
    EXPECT_LE(FComm.Read(buffer, sizeof buffer), 0);
    FComm.Close();
    EXPECT_FALSE(FComm.Enabled());
    EXPECT_TRUE(FComm.EventThread()->Finished());
}

// Every open starts fresh: nothing left on the line from before it reaches the caller.
class FreshOpenOverPty : public CommOverPty {
protected:
    void OpenAndClose() {
        FComm.Open();
        ASSERT_TRUE(FComm.Enabled());
        FComm.Close();
    }
};

TEST_F(FreshOpenOverPty, ReplyLeftWhileClosedIsNotDelivered) {
    OpenAndClose();
    FPty.Send("0,0,24000,50000\r");
    std::this_thread::sleep_for(20ms);
    FComm.Open();
    ASSERT_TRUE(FComm.Enabled());
    EXPECT_EQ(FComm.InQueCount(), 0);
    FPty.Send("1,2\r");
    ASSERT_TRUE(ProcessEventsUntil([this] { return FReceived.size() >= 4; }, 5s));
    ProcessEventsUntil([] { return false; }, 50ms);
    EXPECT_EQ(FReceived, "1,2\r");
}

TEST_F(FreshOpenOverPty, OutputStoppedByXoffFlowsAfterReopen) {
    FComm.Open();
    ASSERT_TRUE(FComm.Enabled());
    FComm.SetXONState(false);
    FComm.Close();
    FComm.Open();
    ASSERT_TRUE(FComm.Enabled());
    EXPECT_EQ(FComm.Write("OH;", 3), 3);
    EXPECT_EQ(FPty.Receive(3, 1s), "OH;");
}

TEST_F(FreshOpenOverPty, OutputStoppedByXoffFlowsForAnotherProgramAfterClose) {
    FComm.Open();
    ASSERT_TRUE(FComm.Enabled());
    FComm.SetXONState(false);
    FComm.Close();
    TFileDescriptor other(::open(FPty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    ASSERT_TRUE(other.IsOpen());
    EXPECT_EQ(::write(other.Get(), "x", 1), 1);
    EXPECT_EQ(FPty.Receive(1, 1s), "x");
}

TEST_F(FreshOpenOverPty, WriteHeldByXoffReportsNothingSent) {
    FComm.Open();
    ASSERT_TRUE(FComm.Enabled());
    FComm.SetXONState(false);
    EXPECT_EQ(FComm.Write("OH;", 3), 0);
    FComm.SetXONState(true);
    EXPECT_EQ(FPty.Receive(3, 200ms), "");
}

TEST_F(FreshOpenOverPty, SoftwareFlowControlIsSwitchedOffAgain) {
    FComm.Open();
    ASSERT_TRUE(FComm.Enabled());
    FComm.SetFlowControl(devlink::fcSoftware);
    EXPECT_NE(SlaveSettings().c_iflag & (IXON | IXOFF), 0u);
    FComm.SetFlowControl(devlink::fcNone);
    EXPECT_EQ(SlaveSettings().c_iflag & (IXON | IXOFF), 0u);
    FPty.Send("\x11\x13");
    ASSERT_TRUE(ProcessEventsUntil([this] { return FReceived.size() >= 2; }, 5s));
    EXPECT_EQ(FReceived, "\x11\x13");
}

TEST_F(CommOverPty, EventCharacterRaisesOnRxFlagAfterOnRxCharWithTheBytesStillUnread) {
    std::vector<std::string> calls;
    FComm.OnRxChar = [&](void*, std::uint32_t count) {
        calls.push_back("rxchar " + std::to_string(count));
        std::string buffer(count, '\0');
        const int read = FComm.Read(buffer.data(), count);
        FReceived.append(buffer, 0, static_cast<std::size_t>(std::max(read, 0)));
    };
    FComm.OnRxFlag = [&](void*) { calls.push_back("rxflag"); };
    FComm.EventChars().SetEvtChar('X');
    FComm.Open();
    ASSERT_TRUE(FComm.Enabled());
    FPty.Send("aXb");
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return FReceived.size() >= 3 && !calls.empty() && calls.back() == "rxflag"; }, 2s))
        << ::testing::PrintToString(calls);
    EXPECT_EQ(FReceived, "aXb");
    EXPECT_EQ(calls.front().rfind("rxchar ", 0), 0u) << calls.front();
    FPty.Send("cd");
    ASSERT_TRUE(ProcessEventsUntil([&] { return FReceived.size() >= 5; }, 2s));
    ProcessEventsUntil([] { return false; }, 50ms);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "rxflag"), 1);
}

} // namespace
} // namespace platform::test
