// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/in_process_usb.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sim {
namespace {

const std::string kEsc(1, '\x1B');
constexpr std::int32_t kCapacity = 2097152;

class InProcessUsb : public testing::Test {
protected:
    std::string Receive(std::int32_t handle) {
        std::uint32_t count = 12345;
        EXPECT_GE(FUsb.UsbReceiveCheck(handle, &count), 0);
        std::vector<char> buffer(kCapacity);
        EXPECT_GE(FUsb.UsbReceive(handle, buffer.data(), kCapacity, &count), 0);
        return std::string(buffer.data(), count);
    }

    TVirtualCutter FCutter;
    TInProcessUsb FUsb;
};

TEST_F(InProcessUsb, OnlyConfiguredAndPluggedDevicesOpen) {
    FUsb.AddDevice(1, FCutter);
    for (std::int32_t index : {0, 2, 3, -1}) {
        EXPECT_EQ(FUsb.UsbOpenDevice(index), -1) << index;
    }
    const std::int32_t handle = FUsb.UsbOpenDevice(1);
    EXPECT_NE(handle, -1);
    EXPECT_NE(handle, 0);
    EXPECT_EQ(FUsb.OpenHandleCount(), 1u);
    FUsb.UsbCloseDevice(handle);
    EXPECT_EQ(FUsb.OpenHandleCount(), 0u);
    FUsb.SetPresent(1, false);
    EXPECT_EQ(FUsb.UsbOpenDevice(1), -1);
}

TEST_F(InProcessUsb, SilentCutterChecksSuccessfullyWithNothingToRead) {
    FUsb.AddDevice(0, FCutter);
    const std::int32_t handle = FUsb.UsbOpenDevice(0);
    ASSERT_GE(FUsb.UsbSend(handle, "OH;", 3), 0);
    std::uint32_t count = 99;
    EXPECT_EQ(FUsb.UsbReceiveCheck(handle, &count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(Receive(handle), "");
}

TEST_F(InProcessUsb, DeliveredReplyIsReceivedWhole) {
    TInProcessLine& line = FUsb.AddDevice(2, FCutter);
    const std::int32_t handle = FUsb.UsbOpenDevice(2);
    const std::string query = kEsc + ".R4:";
    ASSERT_GE(FUsb.UsbSend(handle, query.data(), std::int32_t(query.size())), 0);
    line.DeliverNext(6);
    std::uint32_t count = 0;
    EXPECT_EQ(FUsb.UsbReceiveCheck(handle, &count), 0);
    EXPECT_EQ(count, 6u);
    EXPECT_EQ(Receive(handle), "0,0,TC");
    line.DeliverAll();
    EXPECT_EQ(Receive(handle), "-60,2.10 0305\r");
}

TEST_F(InProcessUsb, CallsWithHandlesNotOpenFail) {
    FUsb.AddDevice(0, FCutter);
    std::uint32_t count = 0;
    char buffer[8];
    for (std::int32_t handle : {0, -1, 4242}) {
        EXPECT_LT(FUsb.UsbSend(handle, "OH;", 3), 0) << handle;
        EXPECT_LT(FUsb.UsbReceiveCheck(handle, &count), 0) << handle;
        EXPECT_LT(FUsb.UsbReceive(handle, buffer, 8, &count), 0) << handle;
    }
    EXPECT_TRUE(FUsb.Line(0).Transcript().empty()) << "nothing reached the cutter";
}

TEST_F(InProcessUsb, HangUpLeavesTheLastBytesReadableThenFails) {
    TFaults faults;
    faults.HangUpAfterBytes = 3;
    TInProcessLine& line = FUsb.AddDevice(0, FCutter, faults);
    line.SetImmediate(true);
    const std::int32_t handle = FUsb.UsbOpenDevice(0);
    ASSERT_GE(FUsb.UsbSend(handle, "OH;", 3), 0);
    EXPECT_EQ(Receive(handle), "0,0");
    std::uint32_t count = 0;
    EXPECT_LT(FUsb.UsbReceiveCheck(handle, &count), 0);
    EXPECT_LT(FUsb.UsbSend(handle, "OH;", 3), 0);
    FUsb.UsbCloseDevice(handle);
    EXPECT_EQ(FUsb.UsbOpenDevice(0), -1);
}

TEST_F(InProcessUsb, UnpluggingFailsTheOpenHandle) {
    FUsb.AddDevice(0, FCutter).SetImmediate(true);
    const std::int32_t handle = FUsb.UsbOpenDevice(0);
    FUsb.SetPresent(0, false);
    std::uint32_t count = 0;
    EXPECT_LT(FUsb.UsbReceiveCheck(handle, &count), 0);
    EXPECT_LT(FUsb.UsbSend(handle, "OH;", 3), 0);
}

TEST_F(InProcessUsb, TwoCablesShareOneCutterButNotTheirCommands) {
    TInProcessLine& first = FUsb.AddDevice(0, FCutter);
    TInProcessLine& second = FUsb.AddDevice(1, FCutter);
    first.SetImmediate(true);
    second.SetImmediate(true);
    const std::int32_t a = FUsb.UsbOpenDevice(0);
    const std::int32_t b = FUsb.UsbOpenDevice(1);
    FUsb.UsbSend(a, "\x1B.C6;1;", 7);
    FUsb.UsbSend(b, "OH;", 3);
    FUsb.UsbSend(a, "1010:\x1B.R3:", 10);
    EXPECT_EQ(Receive(b), "0,0,24000,50000\r");
    EXPECT_EQ(Receive(a), "0,1010,996\r");
    EXPECT_EQ(FCutter.ScaleX(), 1010);
}

} // namespace
} // namespace sim
