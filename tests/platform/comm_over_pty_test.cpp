#include "link/comm.h"
#include "link/comm_event_thread.h"
#include "serial_pty_fixture.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <time.h>

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
    EXPECT_EQ(second.LastError(), std::uint32_t{EBUSY});
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

} // namespace
} // namespace platform::test
