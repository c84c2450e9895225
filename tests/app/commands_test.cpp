// SPDX-License-Identifier: GPL-3.0-or-later
// The bytes each command puts on the link the port list names, what the log shows of
// them, and the USB operations that make that link ready.

#include "tests/app/app_test_support.h"

#include "toolkit/conversions.h"

#include <QComboBox>

namespace app::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kEsc = "\x1B";

class Commands : public TMainFormTest {
protected:
    void SetUp() override { ::testing::internal::CaptureStderr(); }
    void TearDown() override { ::testing::internal::GetCapturedStderr(); }

    // The window with the COM1 port open, as a sender leaves it.
    TMainForm& CreateOnOpenComPort() {
        Create();
        OpenComPort();
        return Form();
    }

    void OpenComPort() {
        SetPortText("COM1");
        Session().ComPortOpen();
        ASSERT_TRUE(Session().Comm1.Enabled());
        FLinesBeforeSending = Log().size();
    }

    void SetWizardSizes(std::string x, std::string y, std::string measuredX = "",
                        std::string measuredY = "") {
        Form().SetWizardFields({[x] { return x; }, [y] { return y; },
                                [measuredX] { return measuredX; },
                                [measuredY] { return measuredY; }});
    }

    // Reads the cutter's scale values in as the poll cycle does.
    void ReceiveScale(const std::string& reply) {
        Session().StageQueryForTests(protocol::ccScaleQuery);
        Session().StageReplyTextForTests(reply);
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
    TMainForm& form = CreateOnOpenComPort();
    form.Session().SendCommand(GetParam().Code);
    EXPECT_EQ(Serial.WrittenBytes(), GetParam().Bytes);
    EXPECT_THAT(LinesSent(), ElementsAre("發送命令:" + GetParam().Bytes));
    EXPECT_TRUE(form.Session().ExchangeState().FCommandText.empty());
}

TEST_P(Queries, GoToTheUsbHandleOnTheUsbLink) {
    Usb.SetPresent(0, true);
    TMainForm& form = Create();
    SetPortText("USB0");
    form.Session().UsbPortOpen();
    const std::int32_t handle = form.Session().ExchangeState().FUsbHandle;
    form.Session().SendCommand(GetParam().Code);
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
    TMainForm& form = CreateOnOpenComPort();
    SetWizardSizes("100", "50");
    form.Session().SendCommand(protocol::ccTestDraw);
    EXPECT_EQ(Serial.WrittenBytes(), "VS30;SP1;PR;PU0,0;PD0,0,4000,0,0,2000,-4000,0,0,-2000;PU;");
    EXPECT_EQ(form.Session().ExchangeState().FTestDrawX, 4000.0);
    EXPECT_EQ(form.Session().ExchangeState().FTestDrawY, 2000.0);
}

TEST_F(Commands, TestCutWritesFractionsWithAPoint) {
    TMainForm& form = CreateOnOpenComPort();
    SetWizardSizes("10.01", "10");
    form.Session().SendCommand(protocol::ccTestDraw);
    EXPECT_EQ(Serial.WrittenBytes(), "VS30;SP1;PR;PU0,0;PD0,0,400.4,0,0,400,-400.4,0,0,-400;PU;");
}

TEST_F(Commands, CorrectedCutScalesTheTestByWhatWasMeasured) {
    const std::pair<const char*, const char*> cases[] = {
        {"101", "VS30;SP1;PR;PU0,0;PD0,0,3960,0,0,3960,-3960,0,0,-3960;PU;"},
        {"99", "VS30;SP1;PR;PU0,0;PD0,0,4040,0,0,4040,-4040,0,0,-4040;PU;"},
    };
    TMainForm& form = CreateOnOpenComPort();
    for (const auto& [measured, bytes] : cases) {
        SCOPED_TRACE(measured);
        SetWizardSizes("100", "100", measured, measured);
        form.Session().SendCommand(protocol::ccTestDraw);
        const std::size_t before = Serial.WrittenBytes().size();
        form.Session().SendCommand(protocol::ccCorrectedTestDraw);
        EXPECT_EQ(Serial.WrittenBytes().substr(before), bytes);
        EXPECT_EQ(form.Session().ExchangeState().FMeasuredX, toolkit::StrToFloat(measured) * 40);
    }
}

TEST_F(Commands, ScaleWriteCarriesTheNewScaleValues) {
    TMainForm& form = Create();
    ReceiveScale("0,10000,10000\r");
    OpenComPort();
    SetWizardSizes("100", "100", "101", "99");
    form.Session().SendCommand(protocol::ccTestDraw);
    form.Session().SendCommand(protocol::ccCorrectedTestDraw);
    const std::size_t before = Serial.WrittenBytes().size();
    form.Session().SendCommand(protocol::ccWriteScale);
    const std::string written = Serial.WrittenBytes().substr(before);
    EXPECT_EQ(written, kEsc + ".C6;1;10100:" + kEsc + ".C6;0;9899:");
    EXPECT_EQ(written.size(), 25U);
    EXPECT_EQ(form.Session().ExchangeState().FNewScaleX, 10100);
    EXPECT_EQ(form.Session().ExchangeState().FNewScaleY, 9899);
    EXPECT_EQ(Log().back(), "發送命令:" + written);
}

TEST_F(Commands, ScaleWriteIsRefusedBeforeTheScaleHasBeenRead) {
    TMainForm& form = CreateOnOpenComPort();
    SetWizardSizes("100", "100", "101", "101");
    form.Session().SendCommand(protocol::ccTestDraw);
    form.Session().SendCommand(protocol::ccCorrectedTestDraw);
    const std::size_t before = Serial.WrittenBytes().size();
    EXPECT_THROW(form.Session().SendCommand(protocol::ccWriteScale), toolkit::EConvertError);
    EXPECT_EQ(Serial.WrittenBytes().size(), before);
    EXPECT_EQ(form.Session().ExchangeState().FNewScaleX, 0);
}

// Sizes the arithmetic cannot use never reach the cutter.
TEST_F(Commands, UnusableSizesAreRefusedAndNothingIsSent) {
    const char* sizes[] = {"0", "-10", "abc", "", "1e400", "nan", "10,5"};
    TMainForm& form = CreateOnOpenComPort();
    SetWizardSizes("100", "50");
    form.Session().SendCommand(protocol::ccTestDraw);
    const std::string sent = Serial.WrittenBytes();
    const std::size_t lines = Log().size();
    for (const char* size : sizes) {
        SCOPED_TRACE(size);
        SetWizardSizes(size, "50", size, "100");
        EXPECT_THROW(form.Session().SendCommand(protocol::ccTestDraw), toolkit::EConvertError);
        EXPECT_THROW(form.Session().SendCommand(protocol::ccCorrectedTestDraw),
                     toolkit::EConvertError);
        EXPECT_TRUE(form.Session().ExchangeState().FCommandText.empty());
        EXPECT_EQ(form.Session().ExchangeState().FTestDrawX, 4000.0);
        EXPECT_EQ(form.Session().ExchangeState().FMeasuredX, 0.0);
    }
    EXPECT_EQ(Serial.WrittenBytes(), sent);
    EXPECT_EQ(Log().size(), lines);
}

TEST_F(Commands, CorrectedCutNeedsATestCutFirst) {
    TMainForm& form = CreateOnOpenComPort();
    SetWizardSizes("100", "100", "101", "101");
    EXPECT_THROW(form.Session().SendCommand(protocol::ccCorrectedTestDraw), toolkit::EConvertError);
    EXPECT_EQ(Serial.WrittenBytes(), "");
}

TEST_F(Commands, MissingWizardFieldsAreRefused) {
    TMainForm& form = CreateOnOpenComPort();
    EXPECT_THROW(form.Session().SendCommand(protocol::ccTestDraw), toolkit::EConvertError);
    EXPECT_EQ(Serial.WrittenBytes(), "");
}

TEST_F(Commands, SerialLinkCarriesNothingWhileAUsbCutterIsAttached) {
    TMainForm& form = CreateOnOpenComPort();
    Usb.SetPresent(3, true);
    Usb.DeviceIds[3] = "MFG:Acme;MDL:DeskJet 2700;";
    form.Session().SendCommand(protocol::ccPollSize);
    EXPECT_EQ(Serial.WrittenBytes(), "");
    // The log names the device in the way, which may be a desk printer.
    EXPECT_THAT(LinesSent(), ElementsAre("USB3 attached, device ID: MFG:Acme;MDL:DeskJet 2700;"));
    EXPECT_TRUE(form.Session().ExchangeState().FCommandText.empty());
    EXPECT_THAT(Usb.OpenHandles, IsEmpty());
}

TEST_F(Commands, ClosedSerialPortGetsNothing) {
    TMainForm& form = Create();
    SetPortText("COM1");
    form.Session().SendCommand(protocol::ccPollSize);
    EXPECT_EQ(Serial.CountOf("WriteFile"), 0);
    EXPECT_THAT(Log(), IsEmpty());
}

TEST_F(Commands, TextNamingNoLinkSendsNothing) {
    TMainForm& form = Create();
    for (const char* text : {"", "LPT1", "com1", "usb0"}) {
        SetPortText(text);
        form.Session().SendCommand(protocol::ccSettingsQuery);
        EXPECT_TRUE(form.Session().ExchangeState().FCommandText.empty());
    }
    EXPECT_THAT(Usb.Sent, IsEmpty());
    EXPECT_EQ(Serial.CountOf("WriteFile"), 0);
    EXPECT_THAT(Log(), IsEmpty());
}

TEST_F(Commands, LinkKindFollowsTheTextComBeforeUsb) {
    TMainForm& form = Create();
    const std::pair<const char*, session::TLinkKind> cases[] = {
        {"COM1", session::lkSerial}, {"xCOMx", session::lkSerial}, {"USB0COM", session::lkSerial},
        {"USB2", session::lkUsb},    {"myUSB", session::lkUsb},    {"com1", session::lkNone},
        {"", session::lkNone},       {"Usb0", session::lkNone},
    };
    for (const auto& [text, kind] : cases) {
        SetPortText(text);
        EXPECT_EQ(form.Session().LinkKind(), kind) << text;
    }
}

TEST_F(Commands, UsbDeviceIndexIsTheFourthCharacter) {
    TMainForm& form = Create();
    SetPortText("USB3");
    EXPECT_EQ(form.Session().UsbDeviceIndex(), 3);
    SetPortText("USB7x");
    EXPECT_EQ(form.Session().UsbDeviceIndex(), 7);
    SetPortText("USB");
    EXPECT_THROW(form.Session().UsbDeviceIndex(), std::out_of_range);
}

TEST_F(Commands, UsbSendUsesWhateverHandleIsHeld) {
    TMainForm& form = Create();
    SetPortText("USB0");
    form.Session().StageUsbHandleForTests(-1);
    form.Session().SendCommand(protocol::ccPollSize);
    ASSERT_EQ(Usb.Sent.size(), 1U);
    EXPECT_EQ(Usb.Sent[0].Handle, -1);
    EXPECT_THAT(Log(), ElementsAre("發送命令:OH;"));
}

TEST_F(Commands, UsbPortCloseClosesAnyHandleButAFailedOne) {
    TMainForm& form = Create();
    Usb.ClosedHandles.clear();
    form.Session().StageUsbHandleForTests(0);
    form.Session().UsbPortClose();
    EXPECT_THAT(Usb.ClosedHandles, ElementsAre(0));
    form.Session().StageUsbHandleForTests(-1);
    form.Session().UsbPortClose();
    EXPECT_THAT(Usb.ClosedHandles, ElementsAre(0));
    EXPECT_EQ(form.Session().ExchangeState().FUsbHandle, -1);
}

TEST_F(Commands, UsbPortOpenTwiceSaysTheSecondIsAlreadyOpen) {
    Usb.SetPresent(0, true);
    TMainForm& form = Create();
    SetPortText("USB0");
    form.Session().UsbPortOpen();
    form.Session().UsbPortOpen();
    EXPECT_THAT(Log(), ElementsAre("Open USB0 OK", "Port has already been opened!"));
    EXPECT_EQ(Usb.OpenHandles.size(), 1U);
}

TEST_F(Commands, UsbPortOpenOfAMissingDeviceFails) {
    TMainForm& form = Create();
    SetPortText("USB1");
    form.Session().UsbPortOpen();
    EXPECT_THAT(Log(), ElementsAre("Open USB1 Failed"));
    EXPECT_EQ(form.Session().ExchangeState().FUsbHandle, -1);
}

TEST_F(Commands, UsbProbeLeavesNoDeviceOpenEvenOneHeldFromBefore) {
    Usb.SetPresent(0, true);
    TMainForm& form = Create();
    SetPortText("USB0");
    form.Session().UsbPortOpen();
    EXPECT_TRUE(form.Session().UsbPortProbe());
    EXPECT_THAT(Usb.OpenHandles, IsEmpty());
    EXPECT_EQ(form.Session().ExchangeState().FUsbHandle, 0);
    Usb.SetPresent(0, false);
    EXPECT_FALSE(form.Session().UsbPortProbe());
    EXPECT_EQ(form.Session().ExchangeState().FUsbHandle, -1);
}

TEST_F(Commands, UsbDevicePresentLooksAtAllFourAndLeavesTheHandle) {
    TMainForm& form = Create();
    form.Session().StageUsbHandleForTests(77);
    Usb.OpenedIndexes.clear();
    EXPECT_FALSE(form.Session().UsbDevicePresent());
    Usb.SetPresent(3, true);
    EXPECT_TRUE(form.Session().UsbDevicePresent());
    EXPECT_THAT(Usb.OpenedIndexes, ElementsAre(0, 1, 2, 3, 0, 1, 2, 3));
    EXPECT_THAT(Usb.OpenHandles, IsEmpty());
    EXPECT_EQ(form.Session().ExchangeState().FUsbHandle, 77);
}

// A late reply to an abandoned query still held by the USB device when the next query goes
// out (the port closed in between): the new query's decoder gets its own reply alone.
TEST_F(Commands, StaleBytesInTheUsbDeviceNeverReachTheNextQuerysDecoder) {
    struct TCase {
        TFormAction Send;
        std::string Stale;
        std::string Reply;
        std::string (*Decoded)(const TMainForm&);
        std::string Expected;
    };
    const TCase cases[] = {
        {&OnForm<&session::TCutterSession::SendScaleQuery>, "0,30,80,250,5,1,0,2\r",
         "0,1000,1000\r",
         [](const TMainForm& form) {
             return std::to_string(form.Session().Settings().ScaleX) + "/" +
                    std::to_string(form.Session().Settings().ScaleY);
         },
         "1000/1000"},
        {&OnForm<&session::TCutterSession::SendFirmwareQuery>, "0,0,24000,50000\r",
         "0,0,TC-60,2.10 0305\r",
         [](const TMainForm& form) {
             return form.Session().Settings().FirmwareModel + " " +
                    form.Session().Settings().FirmwareVersion;
         },
         "TC-60 2.10"},
    };
    Usb.SetPresent(0, true);
    TMainForm& form = Create();
    SetPortText("USB0");
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Expected);
        Usb.DeviceInput[0] = test.Stale;
        test.Send(form);
        Usb.DeviceInput[0] += test.Reply;
        Tick(11);
        EXPECT_EQ(test.Decoded(form), test.Expected);
    }
    EXPECT_THAT(Prompts.Shown, IsEmpty());
}

} // namespace
} // namespace app::test
