// SPDX-License-Identifier: GPL-3.0-or-later
// The bytes each command puts on the link the port name names, what the log shows of
// them, and the USB operations that make that link ready.

#include "tests/session/session_test_support.h"

#include "toolkit/conversions.h"

namespace session::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kEsc = "\x1B";

class Commands : public testsupport::TSessionTest {
protected:
    void SetUp() override { ::testing::internal::CaptureStderr(); }
    void TearDown() override { ::testing::internal::GetCapturedStderr(); }

    // The session over the fakes.
    TCutterSession& Create() { return BuildOverFakes(); }

    // The session with the COM1 port open, as a sender leaves it.
    TCutterSession& CreateOnOpenComPort() {
        Create();
        OpenComPort();
        return Session();
    }

    void OpenComPort() {
        SetPortText("COM1");
        View().OpenChosenLink();
        ASSERT_TRUE(View().Comm1().Enabled());
        FLinesBeforeSending = Log().size();
    }

    // Reads the cutter's scale values in as the poll cycle does.
    void ReceiveScale(const std::string& reply) {
        View().StageQuery(protocol::ccScaleQuery);
        View().StageReplyText(reply);
        Tick(11);
        ASSERT_EQ(Session().ScaleRepliesDecoded(), 1);
    }

    std::vector<std::string> LinesSent() const {
        const std::vector<std::string> lines = Log();
        return {lines.begin() + static_cast<std::ptrdiff_t>(FLinesBeforeSending), lines.end()};
    }

private:
    std::size_t FLinesBeforeSending = 0;
};

struct TQueryCase {
    protocol::TCommandCode Code;
    std::string Bytes;
};

class Queries : public Commands, public ::testing::WithParamInterface<TQueryCase> {};

TEST_P(Queries, WriteTheirBytesOnTheSerialLinkAndLogThem) {
    CreateOnOpenComPort();
    View().SendCommand(GetParam().Code);
    EXPECT_EQ(Serial.WrittenBytes(), GetParam().Bytes);
    EXPECT_THAT(LinesSent(), ElementsAre("發送命令:" + GetParam().Bytes));
    EXPECT_TRUE(View().CommandText().empty());
}

TEST_P(Queries, GoToTheUsbHandleOnTheUsbLink) {
    Usb.SetPresent(0, true);
    Create();
    SetPortText("USB0");
    View().OpenChosenLink();
    const std::int32_t handle = View().UsbHandle();
    View().SendCommand(GetParam().Code);
    ASSERT_EQ(Usb.Sent.size(), 1U);
    EXPECT_EQ(Usb.Sent[0].Handle, handle);
    EXPECT_EQ(Usb.Sent[0].Bytes, GetParam().Bytes);
    EXPECT_THAT(Log(), ElementsAre("Open USB0 OK", "發送命令:" + GetParam().Bytes));
    EXPECT_EQ(Serial.WrittenBytes(), "");
}

INSTANTIATE_TEST_SUITE_P(FixedTexts, Queries,
                         ::testing::Values(TQueryCase{protocol::ccPollSize, "OH;"},
                                           TQueryCase{protocol::ccSettingsQuery, kEsc + ".R1:"},
                                           TQueryCase{protocol::ccFirmwareQuery, kEsc + ".R4:"},
                                           TQueryCase{protocol::ccScaleQuery, kEsc + ".R3:"}));

TEST_F(Commands, TestCutIsTheRectangleOfTheSizeEntered) {
    TCutterSession& cutterSession = CreateOnOpenComPort();
    View().SendCommand(protocol::ccTestDraw, {"100", "50"});
    EXPECT_EQ(Serial.WrittenBytes(), "VS30;SP1;PR;PU0,0;PD0,0,4000,0,0,2000,-4000,0,0,-2000;PU;");
    EXPECT_EQ(cutterSession.TestDrawSize().X, 4000.0);
    EXPECT_EQ(cutterSession.TestDrawSize().Y, 2000.0);
}

TEST_F(Commands, TestCutWritesFractionsWithAPoint) {
    CreateOnOpenComPort();
    View().SendCommand(protocol::ccTestDraw, {"10.01", "10"});
    EXPECT_EQ(Serial.WrittenBytes(), "VS30;SP1;PR;PU0,0;PD0,0,400.4,0,0,400,-400.4,0,0,-400;PU;");
}

TEST_F(Commands, CorrectedCutScalesTheTestByWhatWasMeasured) {
    const std::pair<const char*, const char*> cases[] = {
        {"101", "VS30;SP1;PR;PU0,0;PD0,0,3960,0,0,3960,-3960,0,0,-3960;PU;"},
        {"99", "VS30;SP1;PR;PU0,0;PD0,0,4040,0,0,4040,-4040,0,0,-4040;PU;"},
    };
    TCutterSession& cutterSession = CreateOnOpenComPort();
    for (const auto& [measured, bytes] : cases) {
        SCOPED_TRACE(measured);
        View().SendCommand(protocol::ccTestDraw, {"100", "100"});
        const std::size_t before = Serial.WrittenBytes().size();
        View().SendCommand(protocol::ccCorrectedTestDraw, {measured, measured});
        EXPECT_EQ(Serial.WrittenBytes().substr(before), bytes);
        EXPECT_EQ(cutterSession.MeasuredSize().X, toolkit::StrToFloat(measured) * 40);
    }
}

TEST_F(Commands, ScaleWriteCarriesTheNewScaleValues) {
    TCutterSession& cutterSession = Create();
    ReceiveScale("0,10000,10000\r");
    OpenComPort();
    View().SendCommand(protocol::ccTestDraw, {"100", "100"});
    View().SendCommand(protocol::ccCorrectedTestDraw, {"101", "99"});
    const std::size_t before = Serial.WrittenBytes().size();
    View().SendCommand(protocol::ccWriteScale);
    const std::string written = Serial.WrittenBytes().substr(before);
    EXPECT_EQ(written, kEsc + ".C6;1;10100:" + kEsc + ".C6;0;9899:");
    EXPECT_EQ(written.size(), 25U);
    EXPECT_EQ(cutterSession.NewScale().X, 10100);
    EXPECT_EQ(cutterSession.NewScale().Y, 9899);
    EXPECT_EQ(Log().back(), "發送命令:" + written);
}

TEST_F(Commands, ScaleWriteIsRefusedBeforeTheScaleHasBeenRead) {
    TCutterSession& cutterSession = CreateOnOpenComPort();
    View().SendCommand(protocol::ccTestDraw, {"100", "100"});
    View().SendCommand(protocol::ccCorrectedTestDraw, {"101", "101"});
    const std::size_t before = Serial.WrittenBytes().size();
    EXPECT_THROW(View().SendCommand(protocol::ccWriteScale), toolkit::EConvertError);
    EXPECT_EQ(Serial.WrittenBytes().size(), before);
    EXPECT_EQ(cutterSession.NewScale().X, 0);
}

// Sizes the arithmetic cannot use never reach the cutter.
TEST_F(Commands, UnusableSizesAreRefusedAndNothingIsSent) {
    const char* sizes[] = {"0", "-10", "abc", "", "1e400", "nan", "10,5"};
    TCutterSession& cutterSession = CreateOnOpenComPort();
    View().SendCommand(protocol::ccTestDraw, {"100", "50"});
    const std::string sent = Serial.WrittenBytes();
    const std::size_t lines = Log().size();
    for (const char* size : sizes) {
        SCOPED_TRACE(size);
        EXPECT_THROW(View().SendCommand(protocol::ccTestDraw, {size, "50"}),
                     toolkit::EConvertError);
        EXPECT_THROW(View().SendCommand(protocol::ccCorrectedTestDraw, {size, "100"}),
                     toolkit::EConvertError);
        EXPECT_TRUE(View().CommandText().empty());
        EXPECT_EQ(cutterSession.TestDrawSize().X, 4000.0);
        EXPECT_EQ(cutterSession.MeasuredSize().X, 0.0);
    }
    EXPECT_EQ(Serial.WrittenBytes(), sent);
    EXPECT_EQ(Log().size(), lines);
}

TEST_F(Commands, CorrectedCutNeedsATestCutFirst) {
    CreateOnOpenComPort();
    EXPECT_THROW(View().SendCommand(protocol::ccCorrectedTestDraw, {"101", "101"}),
                 toolkit::EConvertError);
    EXPECT_EQ(Serial.WrittenBytes(), "");
}

TEST_F(Commands, CutWithoutSizesIsRefused) {
    CreateOnOpenComPort();
    EXPECT_THROW(View().SendCommand(protocol::ccTestDraw), toolkit::EConvertError);
    EXPECT_EQ(Serial.WrittenBytes(), "");
}

TEST_F(Commands, SerialLinkCarriesNothingWhileAUsbCutterIsAttached) {
    CreateOnOpenComPort();
    Usb.SetPresent(3, true);
    Usb.DeviceIds[3] = "MFG:Acme;MDL:DeskJet 2700;";
    View().SendCommand(protocol::ccPollSize);
    EXPECT_EQ(Serial.WrittenBytes(), "");
    // The log names the device in the way, which may be a desk printer.
    EXPECT_THAT(LinesSent(), ElementsAre("USB3 attached, device ID: MFG:Acme;MDL:DeskJet 2700;"));
    EXPECT_TRUE(View().CommandText().empty());
    EXPECT_THAT(Usb.OpenHandles, IsEmpty());
}

TEST_F(Commands, ClosedSerialPortGetsNothing) {
    Create();
    SetPortText("COM1");
    View().SendCommand(protocol::ccPollSize);
    EXPECT_EQ(Serial.CountOf("WriteFile"), 0);
    EXPECT_THAT(Log(), IsEmpty());
}

TEST_F(Commands, TextNamingNoLinkSendsNothing) {
    Create();
    for (const char* text : {"", "LPT1", "com1", "usb0"}) {
        SetPortText(text);
        View().SendCommand(protocol::ccSettingsQuery);
        EXPECT_TRUE(View().CommandText().empty());
    }
    EXPECT_THAT(Usb.Sent, IsEmpty());
    EXPECT_EQ(Serial.CountOf("WriteFile"), 0);
    EXPECT_THAT(Log(), IsEmpty());
}

// The port name is turned into a link in one place: COM before USB, case counts.
TEST_F(Commands, PortNameChoosesTheLinkComBeforeUsb) {
    Create();
    const std::pair<const char*, std::optional<TPortKind>> cases[] = {
        {"COM1", pkSerial}, {"xCOMx", pkSerial},    {"USB0COM", pkSerial}, {"USB2", pkUsb},
        {"myUSB", pkUsb},   {"com1", std::nullopt}, {"", std::nullopt},    {"Usb0", std::nullopt},
    };
    for (const auto& [text, kind] : cases) {
        SetPortText(text);
        const TLink* link = View().ChosenLink();
        EXPECT_EQ(link == nullptr ? std::nullopt : std::optional(link->Kind()), kind) << text;
    }
}

// The library refuses a send on a handle that failed to open: not sent, and said so.
TEST_F(Commands, UsbSendUsesWhateverHandleIsHeld) {
    Create();
    SetPortText("USB0");
    View().StageUsbHandle(-1);
    View().SendCommand(protocol::ccPollSize);
    ASSERT_EQ(Usb.Sent.size(), 1U);
    EXPECT_EQ(Usb.Sent[0].Handle, -1);
    EXPECT_THAT(Log(), ElementsAre("Not sent: USB0 refused the command's 3 bytes"));
}

// A cut the link did not take whole is not sent: the log says why, not that it was sent.
TEST_F(Commands, CutTheLinkDidNotTakeIsNotSent) {
    const std::tuple<const char*, std::function<void()>, std::string> cases[] = {
        {"COM1",
         [this] {
             Serial.ScriptIo("WriteFile", {{devlink::TIoStatus::ioDone, 10}});
         },
         "COM1 took 10 of the command's 57 bytes"},
        {"COM1",
         [this] {
             Serial.ScriptIo("WriteFile", {{devlink::TIoStatus::ioFailed, 0}});
         },
         "COM1 took 0 of the command's 57 bytes"},
        {"USB0", [this] { Usb.SendsFail = true; }, "USB0 refused the command's 57 bytes"},
    };
    for (const auto& [port, fault, cause] : cases) {
        SCOPED_TRACE(cause);
        Usb.SetPresent(0, std::string(port) == "USB0");
        Create();
        SetPortText(port);
        fault();
        const TOutcome sent = Session().SendTestDraw({"50", "50"});
        EXPECT_EQ(sent.Kind, okNotSent);
        EXPECT_EQ(sent.Cause, cause);
        EXPECT_EQ(CountLogStartingWith("發送命令:"), 0);
        EXPECT_EQ(CountLog("Not sent: " + cause), 1);
    }
}

// A late reply to an abandoned query still held by the USB device when the next query goes
// out (the port closed in between): the new query's decoder gets its own reply alone.
TEST_F(Commands, StaleBytesInTheUsbDeviceNeverReachTheNextQuerysDecoder) {
    struct TCase {
        TSessionAction Send;
        std::string Stale;
        std::string Reply;
        std::string (*Decoded)(const TCutterSession&);
        std::string Expected;
    };
    const TCase cases[] = {
        {&On<&TCutterSession::SendScaleQuery>, "0,30,80,250,5,1,0,2\r", "0,1000,1000\r",
         [](const TCutterSession& cutterSession) {
             return std::to_string(cutterSession.Settings().ScaleX) + "/" +
                    std::to_string(cutterSession.Settings().ScaleY);
         },
         "1000/1000"},
        {&On<&TCutterSession::SendFirmwareQuery>, "0,0,24000,50000\r", "0,0,TC-60,2.10 0305\r",
         [](const TCutterSession& cutterSession) {
             return cutterSession.Settings().FirmwareModel + " " +
                    cutterSession.Settings().FirmwareVersion;
         },
         "TC-60 2.10"},
    };
    Usb.SetPresent(0, true);
    TCutterSession& cutterSession = Create();
    SetPortText("USB0");
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Expected);
        Usb.DeviceInput[0] = test.Stale;
        test.Send(cutterSession);
        Usb.DeviceInput[0] += test.Reply;
        Tick(11);
        EXPECT_EQ(test.Decoded(cutterSession), test.Expected);
    }
    EXPECT_THAT(Reported(), IsEmpty());
}

} // namespace
} // namespace session::test
