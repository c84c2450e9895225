// SPDX-License-Identifier: GPL-3.0-or-later
// What every link behind the session does, one table run over the serial port, the USB
// device and a scripted link: open, write whole or not, take and discard input, close,
// and a missing device. Then what only one kind does.

#include "session/serial_link.h"
#include "session/usb_link.h"
#include "tests/link/fake_serial_api.h"
#include "tests/support/platform_fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace session::test {
namespace {

using devlink::TLinkError;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Keeps the log lines a link writes; how opens went is the session's concern.
struct TRecordedReports : TLinkReports {
    void Log(const std::string& line) override { Lines.push_back(line); }
    void LinkOpened() override {}
    void LinkRefused(const std::string& /*portName*/, TLinkError /*error*/) override {}
    void DeviceNotFound(const std::string& /*portName*/, TLinkError /*error*/) override {}
    std::vector<std::string> Lines;
};

// A link that does as its script says: the fake the session's callers may be tested on.
class TScriptedLink final : public TLink {
public:
    TPortKind Kind() const override { return pkSerial; }
    void Check() override {}
    bool Probe() override { return Present; }
    TLinkError LastError() const override {
        return Present ? TLinkError::leNone : TLinkError::leNotFound;
    }
    TLinkError Open() override {
        FOpen = Present;
        return LastError();
    }
    bool IsOpen() const override { return FOpen; }
    bool HeldByUsbCutter() override { return false; }
    TWritten Write(std::string_view bytes) override {
        Written.append(bytes.substr(0, TakesAtMost));
        return {true, static_cast<std::int64_t>(std::min(bytes.size(), TakesAtMost)), false};
    }
    void TakeInput(std::uint32_t /*announced*/, const TInputSink& sink) override {
        const std::string input = std::exchange(Input, {});
        sink(input.data(), input.size());
    }
    std::size_t DiscardInput() override { return std::exchange(Input, {}).size(); }
    void Close() override { FOpen = false; }

    bool Present = true;
    std::size_t TakesAtMost = SIZE_MAX;
    std::string Written;
    std::string Input;

private:
    bool FOpen = false;
};

// Each side: the link over its device, and the device's side of it.
struct TSerialSide {
    devlink::fake::TFakeSerialApi Api;
    TRecordedReports Reports;
    TSerialLink Link{Api, Reports, [](std::uint32_t) {}, [] { return false; }};
    TSerialSide() { Link.SetDeviceName("COM1"); }
    void RemoveDevice() { Api.Fail("CreateFile", TLinkError::leNotFound); }
    void TakeNothing() { Api.ScriptIo("WriteFile", {{devlink::TIoStatus::ioDone, 1}}); }
    void Arrive(const std::string& bytes) { Api.Receive(bytes); }
    std::string Written() const { return Api.WrittenBytes(); }
};

struct TUsbSide {
    testsupport::TFakeUsbApi Api;
    TRecordedReports Reports;
    TUsbLink Link{Api, Reports};
    TUsbSide() {
        Api.SetPresent(0, true);
        Link.SetDeviceName("USB0");
    }
    void RemoveDevice() { Api.SetPresent(0, false); }
    void TakeNothing() { Api.SendsFail = true; }
    void Arrive(const std::string& bytes) { Api.DeviceInput[0] += bytes; }
    std::string Written() const {
        std::string bytes;
        for (const auto& sent : Api.Sent) {
            bytes += sent.Bytes;
        }
        return bytes;
    }
};

struct TScriptedSide {
    TScriptedLink Link;
    void RemoveDevice() { Link.Present = false; }
    void TakeNothing() { Link.TakesAtMost = 1; }
    void Arrive(const std::string& bytes) { Link.Input += bytes; }
    std::string Written() const { return Link.Written; }
};

template <typename TSide>
class LinkTable : public ::testing::Test {
protected:
    std::string Take(std::uint32_t announced) {
        std::string taken;
        Side.Link.TakeInput(announced, [&taken](const char* bytes, std::size_t count) {
            taken.append(bytes, count);
        });
        return taken;
    }

    TSide Side;
};

using TSides = ::testing::Types<TSerialSide, TUsbSide, TScriptedSide>;
TYPED_TEST_SUITE(LinkTable, TSides);

TYPED_TEST(LinkTable, OpensWritesTheWholeCommandAndCloses) {
    TLink& link = this->Side.Link;
    ASSERT_EQ(link.Open(), TLinkError::leNone);
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(link.Open(), TLinkError::leNone) << "a second open keeps the first";
    const TWritten written = link.Write("OH;");
    EXPECT_TRUE(written.Carried);
    EXPECT_EQ(written.Taken, 3);
    EXPECT_FALSE(written.DeviceGone);
    EXPECT_EQ(this->Side.Written(), "OH;");
    link.Close();
    EXPECT_FALSE(link.IsOpen());
}

TYPED_TEST(LinkTable, ACommandNotTakenWholeSaysSo) {
    TLink& link = this->Side.Link;
    ASSERT_EQ(link.Open(), TLinkError::leNone);
    this->Side.TakeNothing();
    const TWritten written = link.Write("OH;");
    EXPECT_TRUE(written.Carried);
    EXPECT_NE(written.Taken, 3);
}

TYPED_TEST(LinkTable, TakesWhatArrivedAndDiscardsWhatWaits) {
    TLink& link = this->Side.Link;
    ASSERT_EQ(link.Open(), TLinkError::leNone);
    this->Side.Arrive("0,0,24000,12000\r");
    EXPECT_EQ(this->Take(16), "0,0,24000,12000\r");
    this->Side.Arrive("stale");
    EXPECT_EQ(link.DiscardInput(), 5U);
    EXPECT_EQ(this->Take(5), "");
}

TYPED_TEST(LinkTable, AMissingDeviceGivesNoOpenLink) {
    TLink& link = this->Side.Link;
    this->Side.RemoveDevice();
    const bool opened = link.Probe() && link.Open() == TLinkError::leNone;
    EXPECT_FALSE(opened);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_NE(link.LastError(), TLinkError::leNone);
}

// What one kind alone does.

TEST(SerialLink, CarriesNothingWhileAUsbCutterIsAttached) {
    devlink::fake::TFakeSerialApi api;
    TRecordedReports reports;
    bool usbCutter = false;
    TSerialLink link(
        api, reports, [](std::uint32_t) {}, [&usbCutter] { return usbCutter; });
    link.SetDeviceName("COM1");
    ASSERT_EQ(link.Open(), TLinkError::leNone);
    usbCutter = true;
    EXPECT_TRUE(link.HeldByUsbCutter());
    EXPECT_FALSE(link.Write("OH;").Carried);
    EXPECT_EQ(api.WrittenBytes(), "");
    EXPECT_THAT(reports.Lines, ElementsAre("COM1 Check OK"));
}

TEST(UsbLink, OpenTwiceSaysTheSecondIsAlreadyOpen) {
    TUsbSide side;
    side.Link.Open();
    side.Link.Open();
    EXPECT_THAT(side.Reports.Lines, ElementsAre("Open USB0 OK", "Port has already been opened!"));
    EXPECT_EQ(side.Api.OpenHandles.size(), 1U);
}

TEST(UsbLink, OpenOfAMissingDeviceFails) {
    TUsbSide side;
    side.Link.SetDeviceName("USB1");
    EXPECT_EQ(side.Link.Open(), TLinkError::leNotFound);
    EXPECT_THAT(side.Reports.Lines, ElementsAre("Open USB1 Failed"));
    EXPECT_EQ(side.Link.Handle(), kFailedUsbHandle);
}

TEST(UsbLink, CloseClosesAnyHandleButAFailedOne) {
    TUsbSide side;
    side.Api.ClosedHandles.clear();
    side.Link.AdoptHandle(0);
    side.Link.Close();
    EXPECT_THAT(side.Api.ClosedHandles, ElementsAre(0));
    side.Link.AdoptHandle(kFailedUsbHandle);
    side.Link.Close();
    EXPECT_THAT(side.Api.ClosedHandles, ElementsAre(0));
    EXPECT_EQ(side.Link.Handle(), kFailedUsbHandle);
}

TEST(UsbLink, ProbeLeavesNoDeviceOpenEvenOneHeldFromBefore) {
    TUsbSide side;
    side.Link.Open();
    EXPECT_TRUE(side.Link.Probe());
    EXPECT_THAT(side.Api.OpenHandles, IsEmpty());
    EXPECT_EQ(side.Link.Handle(), kNoUsbHandle);
    side.RemoveDevice();
    EXPECT_FALSE(side.Link.Probe());
    EXPECT_EQ(side.Link.Handle(), kFailedUsbHandle);
}

TEST(UsbLink, AnyDeviceAttachedLooksAtAllFourAndLeavesTheHandle) {
    TUsbSide side;
    side.RemoveDevice();
    side.Link.AdoptHandle(77);
    side.Api.OpenedIndexes.clear();
    EXPECT_FALSE(side.Link.AnyDeviceAttached());
    side.Api.SetPresent(3, true);
    EXPECT_TRUE(side.Link.AnyDeviceAttached());
    EXPECT_THAT(side.Api.OpenedIndexes, ElementsAre(0, 1, 2, 3, 0, 1, 2, 3));
    EXPECT_THAT(side.Api.OpenHandles, IsEmpty());
    EXPECT_EQ(side.Link.Handle(), 77);
}

// USB0 to USB3 and nothing else: USB12 typed into the port field is not USB1.
TEST(UsbLink, DeviceIndexIsTheDigitOfUsb0ToUsb3) {
    TUsbSide side;
    side.Link.SetDeviceName("USB3");
    EXPECT_EQ(side.Link.DeviceIndex(), 3);
    for (const char* name : {"USB12", "USB7x", "USB4", "USB", "xUSB1"}) {
        side.Link.SetDeviceName(name);
        EXPECT_THROW(side.Link.DeviceIndex(), std::out_of_range) << name;
    }
}

} // namespace
} // namespace session::test
