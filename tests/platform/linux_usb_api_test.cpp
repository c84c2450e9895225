// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linux_usb_api.h"

#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <thread>

namespace platform::test {
namespace {

using namespace std::chrono_literals;

// A pseudo-terminal registered as USB0, the way a virtual cutter offers itself.
class LinuxUsbApi : public ::testing::Test {
protected:
    LinuxUsbApi() : FUsb(TPortTable(Roots())) { FRuntime.Register("USB0", FPty.SlavePath()); }

    TPortTableRoots Roots() const {
        TPortTableRoots roots;
        roots.DevDir = FNoDevices.Path(); // no printer-class devices
        return roots;
    }

    // Polls the receive check the way the timer ticks do, until something can be read.
    std::int32_t CheckUntilReadable(std::int32_t handle, std::uint32_t& count) {
        std::int32_t result = -1;
        for (int tick = 0; tick < 300 && result < 0; ++tick) {
            std::this_thread::sleep_for(5ms);
            result = FUsb.UsbReceiveCheck(handle, &count);
        }
        return result;
    }

    TScopedRuntimeDir FRuntime;
    TTempDir FNoDevices;
    TPtyPair FPty;
    TLinuxUsbApi FUsb;
};

TEST_F(LinuxUsbApi, OpensARegisteredDeviceWithASmallPositiveHandle) {
    const std::int32_t handle = FUsb.UsbOpenDevice(0);
    EXPECT_GE(handle, 1);
    EXPECT_LE(handle, TLinuxUsbApi::kSlotCount);
    EXPECT_EQ(FUsb.UsbCloseDevice(handle), 0);
}

TEST_F(LinuxUsbApi, AnswersMinusOneForAnIndexWithoutDevice) {
    for (std::int32_t index : {1, 3, 4, -1, 2147483647, -2147483647 - 1}) {
        EXPECT_EQ(FUsb.UsbOpenDevice(index), -1) << index;
    }
}

// Another program is refused, with the reason; this program's own probe finds the
// device it holds (the port list and the guard against COM ports see the cutter).
TEST_F(LinuxUsbApi, HoldsADeviceAgainstOthersUntilItClosesAndFindsItsOwn) {
    const std::int32_t handle = FUsb.UsbOpenDevice(0);
    ASSERT_GE(handle, 1);
    TLinuxUsbApi otherInstance{TPortTable(Roots())};
    EXPECT_EQ(otherInstance.UsbOpenDevice(0), -1);
    EXPECT_EQ(otherInstance.UsbLastOpenError(), devlink::TLinkError::leBusy);
    const std::int32_t probe = FUsb.UsbOpenDevice(0);
    EXPECT_GE(probe, 1);
    EXPECT_NE(probe, handle);
    EXPECT_EQ(FUsb.UsbCloseDevice(probe), 0);
    // The probe's close leaves the held handle working and the device held.
    EXPECT_EQ(FUsb.UsbSend(handle, "OH;", 3), 3);
    EXPECT_EQ(FPty.Receive(3), "OH;");
    EXPECT_EQ(otherInstance.UsbOpenDevice(0), -1);
    FUsb.UsbCloseDevice(handle);
    const std::int32_t again = otherInstance.UsbOpenDevice(0);
    EXPECT_GE(again, 1);
    otherInstance.UsbCloseDevice(again);
}

TEST_F(LinuxUsbApi, RefusesHandlesNotOpenWithoutHarm) {
    const std::int32_t handle = FUsb.UsbOpenDevice(0);
    FUsb.UsbCloseDevice(handle);
    char buffer[8];
    std::uint32_t count = 77;
    for (std::int32_t stale : {handle, 0, -1, TLinuxUsbApi::kSlotCount + 1, 2147483647}) {
        EXPECT_LT(FUsb.UsbCloseDevice(stale), 0);
        EXPECT_LT(FUsb.UsbSend(stale, "OH;", 3), 0);
        EXPECT_LT(FUsb.UsbReceiveCheck(stale, &count), 0);
        EXPECT_LT(FUsb.UsbReceive(stale, buffer, sizeof buffer, &count), 0);
    }
    EXPECT_EQ(count, 77u);
    EXPECT_EQ(FPty.Receive(1, 50ms), "");
}

TEST_F(LinuxUsbApi, SendsEveryByteInOrder) {
    const std::int32_t handle = FUsb.UsbOpenDevice(0);
    const std::string command = "\x1b.R1:\r\n\x00\xff" + std::string(10000, 'P');
    std::string received;
    std::thread farEnd([&] { received = FPty.Receive(command.size()); });
    EXPECT_EQ(FUsb.UsbSend(handle, command.data(), static_cast<std::int32_t>(command.size())),
              static_cast<std::int32_t>(command.size()));
    farEnd.join();
    EXPECT_TRUE(received == command);
    FUsb.UsbCloseDevice(handle);
}

TEST_F(LinuxUsbApi, SendGivesUpWhenNobodyTakesTheBytes) {
    const std::int32_t handle = FUsb.UsbOpenDevice(0);
    const std::string flood(1 << 20, 'x');
    EXPECT_EQ(FUsb.UsbSend(handle, flood.data(), static_cast<std::int32_t>(flood.size())), -1);
}

TEST_F(LinuxUsbApi, ReceiveCheckIsNegativeUntilBytesArriveThenReceiveTakesThem) {
    const std::int32_t handle = FUsb.UsbOpenDevice(0);
    std::uint32_t count = 0;
    EXPECT_LT(FUsb.UsbReceiveCheck(handle, &count), 0);
    FPty.Send("0,0,1520,1200\r");
    ASSERT_GE(CheckUntilReadable(handle, count), 0);
    char buffer[64] = {};
    std::uint32_t received = 0;
    ASSERT_EQ(FUsb.UsbReceive(handle, buffer, sizeof buffer, &received), 0);
    EXPECT_EQ(std::string(buffer, received), "0,0,1520,1200\r");
    EXPECT_LT(FUsb.UsbReceiveCheck(handle, &count), 0);
}

TEST_F(LinuxUsbApi, ReceiveTakesNoMoreThanTheCapacity) {
    const std::int32_t handle = FUsb.UsbOpenDevice(0);
    FPty.Send("abcdef");
    std::uint32_t count = 0;
    ASSERT_GE(CheckUntilReadable(handle, count), 0);
    std::this_thread::sleep_for(20ms);
    char buffer[8] = {'-', '-', '-', '-', '-', '-', '-', '-'};
    ASSERT_EQ(FUsb.UsbReceive(handle, buffer, 4, &count), 0);
    EXPECT_EQ(std::string(buffer, 8), "abcd----");
    ASSERT_EQ(FUsb.UsbReceive(handle, buffer, 8, &count), 0);
    EXPECT_EQ(std::string(buffer, count), "ef");
}

TEST_F(LinuxUsbApi, AHungUpDeviceHasNothingToReceive) {
    const std::int32_t handle = FUsb.UsbOpenDevice(0);
    FPty.CloseMaster();
    std::uint32_t count = 0;
    char buffer[8];
    EXPECT_LT(FUsb.UsbReceiveCheck(handle, &count), 0);
    EXPECT_LT(FUsb.UsbReceive(handle, buffer, sizeof buffer, &count), 0);
    EXPECT_LT(FUsb.UsbSend(handle, "OH;", 3), 0);
    EXPECT_EQ(FUsb.UsbCloseDevice(handle), 0);
}

TEST_F(LinuxUsbApi, ReplyLeftWhileClosedIsNotReadAfterTheNextOpen) {
    const std::int32_t first = FUsb.UsbOpenDevice(0);
    ASSERT_GE(first, 1);
    FUsb.UsbCloseDevice(first);
    FPty.Send("0,0,24000,50000\r");
    std::this_thread::sleep_for(20ms);
    const std::int32_t handle = FUsb.UsbOpenDevice(0);
    ASSERT_GE(handle, 1);
    std::uint32_t count = 0;
    EXPECT_LT(FUsb.UsbReceiveCheck(handle, &count), 0);
    FPty.Send("1,2\r");
    ASSERT_EQ(CheckUntilReadable(handle, count), 0);
    char buffer[64];
    ASSERT_EQ(FUsb.UsbReceive(handle, buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(std::string(buffer, count), "1,2\r");
    FUsb.UsbCloseDevice(handle);
}

TEST_F(LinuxUsbApi, SaysWhyAnOpenFailedAndForgetsItAfterOneSucceeds) {
    EXPECT_EQ(FUsb.UsbOpenDevice(2), -1);
    EXPECT_EQ(FUsb.UsbLastOpenError(), devlink::TLinkError::leNotFound);
    const std::int32_t handle = FUsb.UsbOpenDevice(0);
    ASSERT_GE(handle, 1);
    EXPECT_EQ(FUsb.UsbLastOpenError(), devlink::TLinkError::leNone);
    FUsb.UsbCloseDevice(handle);
}

// A pseudo-terminal is no printer: it reports no IEEE 1284 ID, held or not.
TEST_F(LinuxUsbApi, DeviceWithoutAnIdReportsNone) {
    EXPECT_EQ(FUsb.UsbDeviceId(0), "");
    const std::int32_t handle = FUsb.UsbOpenDevice(0);
    EXPECT_EQ(FUsb.UsbDeviceId(0), "");
    EXPECT_EQ(FUsb.UsbDeviceId(3), "");
    FUsb.UsbCloseDevice(handle);
}

} // namespace
} // namespace platform::test
