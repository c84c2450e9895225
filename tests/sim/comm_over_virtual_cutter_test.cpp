// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port component driving the in-process virtual cutter as it drives a real
// port: overlapped writes and reads, the event thread's waits and the hand-off.

#include "link/comm.h"
#include "sim/in_process_serial.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

namespace sim {
namespace {

using namespace std::chrono_literals;

QCoreApplication& Application() {
    static int argc = 1;
    static char name[] = "sim_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    return application;
}

bool ProcessEventsUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class CommOverVirtualCutter : public testing::Test {
protected:
    CommOverVirtualCutter() {
        Application();
        FComm.SetDeviceName("COM3");
        FComm.OnRxChar = [this](void*, std::uint32_t count) {
            std::string bytes(count, '\0');
            const int read = FComm.Read(bytes.data(), count);
            FReceived += bytes.substr(0, read < 0 ? 0 : std::size_t(read));
        };
    }

    TVirtualCutter FCutter;
    TInProcessSerial FSerial{FCutter, "COM3"};
    devlink::TComm FComm{FSerial};
    std::string FReceived;
};

TEST_F(CommOverVirtualCutter, QueryIsWrittenAndItsReplyReadThroughTheEventThread) {
    FComm.Open();
    ASSERT_TRUE(FComm.Enabled());
    EXPECT_EQ(FSerial.Dcb().BaudRate, 9600u);
    EXPECT_EQ(FComm.Write("OH;", 3), 3);
    FSerial.Line().DeliverNext(7);
    ASSERT_TRUE(ProcessEventsUntil([&] { return FReceived.size() == 7; })) << FReceived;
    FSerial.Line().DeliverAll();
    ASSERT_TRUE(ProcessEventsUntil([&] { return FReceived == "0,0,24000,50000\r"; })) << FReceived;
    FComm.Close();
    EXPECT_FALSE(FSerial.IsOpen());
}

TEST_F(CommOverVirtualCutter, CloseEndsTheEventThreadWhileItWaits) {
    FComm.Open();
    ASSERT_TRUE(FComm.Enabled());
    FComm.Close();
    EXPECT_FALSE(FComm.Enabled());
    FComm.Open();
    EXPECT_TRUE(FComm.Enabled()) << "the port opens again after a clean close";
}

TEST_F(CommOverVirtualCutter, HangUpMidReplyLeavesWhatArrivedAndFailsLaterReads) {
    TInProcessSerial serial(FCutter, "COM3", [] {
        TFaults faults;
        faults.HangUpAfterBytes = 6;
        return faults;
    }());
    devlink::TComm comm(serial);
    std::string received;
    comm.OnRxChar = [&](void*, std::uint32_t count) {
        std::string bytes(count, '\0');
        const int read = comm.Read(bytes.data(), count);
        received += bytes.substr(0, read < 0 ? 0 : std::size_t(read));
    };
    comm.SetDeviceName("COM3");
    comm.Open();
    ASSERT_TRUE(comm.Enabled());
    serial.Line().SetImmediate(true);
    comm.Write("OH;", 3);
    ASSERT_TRUE(ProcessEventsUntil([&] { return received == "0,0,24"; })) << received;
    char buffer[8];
    EXPECT_EQ(comm.Read(buffer, sizeof buffer), 0);
    comm.Close();
}

} // namespace
} // namespace sim
