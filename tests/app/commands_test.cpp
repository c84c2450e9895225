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
        Form().ComPortOpen();
        ASSERT_TRUE(Form().Comm1.Enabled());
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
        Form().StageQueryForTests(protocol::ccScaleQuery);
        Form().StageReplyTextForTests(reply);
        for (int tick = 0; tick < 11; ++tick) {
            Form().Timer1Timer();
        }
        ASSERT_EQ(Form().ScaleRepliesDecoded(), 1);
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
    form.SendCommand(GetParam().Code);
    EXPECT_EQ(Serial.WrittenBytes(), GetParam().Bytes);
    EXPECT_THAT(LinesSent(), ElementsAre("發送命令:" + GetParam().Bytes));
    EXPECT_TRUE(form.ExchangeState().FCommandText.empty());
}

TEST_P(Queries, GoToTheUsbHandleOnTheUsbLink) {
    Usb.SetPresent(0, true);
    TMainForm& form = Create();
    SetPortText("USB0");
    form.UsbPortOpen();
    const std::int32_t handle = form.ExchangeState().FUsbHandle;
    form.SendCommand(GetParam().Code);
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
    form.SendCommand(protocol::ccTestDraw);
    EXPECT_EQ(Serial.WrittenBytes(), "VS30;SP1;PR;PU0,0;PD0,0,4000,0,0,2000,-4000,0,0,-2000;PU;");
    EXPECT_EQ(form.ExchangeState().FTestDrawX, 4000.0);
    EXPECT_EQ(form.ExchangeState().FTestDrawY, 2000.0);
}

TEST_F(Commands, TestCutWritesFractionsWithAPoint) {
    TMainForm& form = CreateOnOpenComPort();
    SetWizardSizes("10.01", "10");
    form.SendCommand(protocol::ccTestDraw);
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
        form.SendCommand(protocol::ccTestDraw);
        const std::size_t before = Serial.WrittenBytes().size();
        form.SendCommand(protocol::ccCorrectedTestDraw);
        EXPECT_EQ(Serial.WrittenBytes().substr(before), bytes);
        EXPECT_EQ(form.ExchangeState().FMeasuredX, toolkit::StrToFloat(measured) * 40);
    }
}

TEST_F(Commands, ScaleWriteCarriesTheNewScaleValues) {
    TMainForm& form = Create();
    ReceiveScale("0,10000,10000\r");
    OpenComPort();
    SetWizardSizes("100", "100", "101", "99");
    form.SendCommand(protocol::ccTestDraw);
    form.SendCommand(protocol::ccCorrectedTestDraw);
    const std::size_t before = Serial.WrittenBytes().size();
    form.SendCommand(protocol::ccWriteScale);
    const std::string written = Serial.WrittenBytes().substr(before);
    EXPECT_EQ(written, kEsc + ".C6;1;10100:" + kEsc + ".C6;0;9899:");
    EXPECT_EQ(written.size(), 25U);
    EXPECT_EQ(form.ExchangeState().FNewScaleX, 10100);
    EXPECT_EQ(form.ExchangeState().FNewScaleY, 9899);
    EXPECT_EQ(Log().back(), "發送命令:" + written);
}

TEST_F(Commands, ScaleWriteIsRefusedBeforeTheScaleHasBeenRead) {
    TMainForm& form = CreateOnOpenComPort();
    SetWizardSizes("100", "100", "101", "101");
    form.SendCommand(protocol::ccTestDraw);
    form.SendCommand(protocol::ccCorrectedTestDraw);
    const std::size_t before = Serial.WrittenBytes().size();
    EXPECT_THROW(form.SendCommand(protocol::ccWriteScale), toolkit::EConvertError);
    EXPECT_EQ(Serial.WrittenBytes().size(), before);
    EXPECT_EQ(form.ExchangeState().FNewScaleX, 0);
}

// Sizes the arithmetic cannot use never reach the cutter.
TEST_F(Commands, UnusableSizesAreRefusedAndNothingIsSent) {
    const char* sizes[] = {"0", "-10", "abc", "", "1e400", "nan", "10,5"};
    TMainForm& form = CreateOnOpenComPort();
    SetWizardSizes("100", "50");
    form.SendCommand(protocol::ccTestDraw);
    const std::string sent = Serial.WrittenBytes();
    const std::size_t lines = Log().size();
    for (const char* size : sizes) {
        SCOPED_TRACE(size);
        SetWizardSizes(size, "50", size, "100");
        EXPECT_THROW(form.SendCommand(protocol::ccTestDraw), toolkit::EConvertError);
        EXPECT_THROW(form.SendCommand(protocol::ccCorrectedTestDraw), toolkit::EConvertError);
        EXPECT_TRUE(form.ExchangeState().FCommandText.empty());
        EXPECT_EQ(form.ExchangeState().FTestDrawX, 4000.0);
        EXPECT_EQ(form.ExchangeState().FMeasuredX, 0.0);
    }
    EXPECT_EQ(Serial.WrittenBytes(), sent);
    EXPECT_EQ(Log().size(), lines);
}

TEST_F(Commands, CorrectedCutNeedsATestCutFirst) {
    TMainForm& form = CreateOnOpenComPort();
    SetWizardSizes("100", "100", "101", "101");
    EXPECT_THROW(form.SendCommand(protocol::ccCorrectedTestDraw), toolkit::EConvertError);
    EXPECT_EQ(Serial.WrittenBytes(), "");
}

TEST_F(Commands, MissingWizardFieldsAreRefused) {
    TMainForm& form = CreateOnOpenComPort();
    EXPECT_THROW(form.SendCommand(protocol::ccTestDraw), toolkit::EConvertError);
    EXPECT_EQ(Serial.WrittenBytes(), "");
}

TEST_F(Commands, SerialLinkCarriesNothingWhileAUsbCutterIsAttached) {
    TMainForm& form = CreateOnOpenComPort();
    Usb.SetPresent(3, true);
    Usb.DeviceIds[3] = "MFG:Acme;MDL:DeskJet 2700;";
    form.SendCommand(protocol::ccPollSize);
    EXPECT_EQ(Serial.WrittenBytes(), "");
    // The log names the device in the way, which may be a desk printer.
    EXPECT_THAT(LinesSent(), ElementsAre("USB3 attached, device ID: MFG:Acme;MDL:DeskJet 2700;"));
    EXPECT_TRUE(form.ExchangeState().FCommandText.empty());
    EXPECT_THAT(Usb.OpenHandles, IsEmpty());
}

TEST_F(Commands, ClosedSerialPortGetsNothing) {
    TMainForm& form = Create();
    SetPortText("COM1");
    form.SendCommand(protocol::ccPollSize);
    EXPECT_EQ(Serial.CountOf("WriteFile"), 0);
    EXPECT_THAT(Log(), IsEmpty());
}

TEST_F(Commands, TextNamingNoLinkSendsNothing) {
    TMainForm& form = Create();
    for (const char* text : {"", "LPT1", "com1", "usb0"}) {
        SetPortText(text);
        form.SendCommand(protocol::ccSettingsQuery);
        EXPECT_TRUE(form.ExchangeState().FCommandText.empty());
    }
    EXPECT_THAT(Usb.Sent, IsEmpty());
    EXPECT_EQ(Serial.CountOf("WriteFile"), 0);
    EXPECT_THAT(Log(), IsEmpty());
}

TEST_F(Commands, LinkKindFollowsTheTextComBeforeUsb) {
    TMainForm& form = Create();
    const std::pair<const char*, TLinkKind> cases[] = {
        {"COM1", lkSerial}, {"xCOMx", lkSerial}, {"USB0COM", lkSerial}, {"USB2", lkUsb},
        {"myUSB", lkUsb},   {"com1", lkNone},    {"", lkNone},          {"Usb0", lkNone},
    };
    for (const auto& [text, kind] : cases) {
        SetPortText(text);
        EXPECT_EQ(form.LinkKind(), kind) << text;
    }
}

TEST_F(Commands, UsbDeviceIndexIsTheFourthCharacter) {
    TMainForm& form = Create();
    SetPortText("USB3");
    EXPECT_EQ(form.UsbDeviceIndex(), 3);
    SetPortText("USB7x");
    EXPECT_EQ(form.UsbDeviceIndex(), 7);
    SetPortText("USB");
    EXPECT_THROW(form.UsbDeviceIndex(), std::out_of_range);
}

TEST_F(Commands, UsbSendUsesWhateverHandleIsHeld) {
    TMainForm& form = Create();
    SetPortText("USB0");
    form.StageUsbHandleForTests(-1);
    form.SendCommand(protocol::ccPollSize);
    ASSERT_EQ(Usb.Sent.size(), 1U);
    EXPECT_EQ(Usb.Sent[0].Handle, -1);
    EXPECT_THAT(Log(), ElementsAre("發送命令:OH;"));
}

TEST_F(Commands, UsbPortCloseClosesAnyHandleButAFailedOne) {
    TMainForm& form = Create();
    Usb.ClosedHandles.clear();
    form.StageUsbHandleForTests(0);
    form.UsbPortClose();
    EXPECT_THAT(Usb.ClosedHandles, ElementsAre(0));
    form.StageUsbHandleForTests(-1);
    form.UsbPortClose();
    EXPECT_THAT(Usb.ClosedHandles, ElementsAre(0));
    EXPECT_EQ(form.ExchangeState().FUsbHandle, -1);
}

TEST_F(Commands, UsbPortOpenTwiceSaysTheSecondIsAlreadyOpen) {
    Usb.SetPresent(0, true);
    TMainForm& form = Create();
    SetPortText("USB0");
    form.UsbPortOpen();
    form.UsbPortOpen();
    EXPECT_THAT(Log(), ElementsAre("Open USB0 OK", "Port has already been opened!"));
    EXPECT_EQ(Usb.OpenHandles.size(), 1U);
}

TEST_F(Commands, UsbPortOpenOfAMissingDeviceFails) {
    TMainForm& form = Create();
    SetPortText("USB1");
    form.UsbPortOpen();
    EXPECT_THAT(Log(), ElementsAre("Open USB1 Failed"));
    EXPECT_EQ(form.ExchangeState().FUsbHandle, -1);
}

TEST_F(Commands, UsbProbeLeavesNoDeviceOpenEvenOneHeldFromBefore) {
    Usb.SetPresent(0, true);
    TMainForm& form = Create();
    SetPortText("USB0");
    form.UsbPortOpen();
    EXPECT_TRUE(form.UsbPortProbe());
    EXPECT_THAT(Usb.OpenHandles, IsEmpty());
    EXPECT_EQ(form.ExchangeState().FUsbHandle, 0);
    Usb.SetPresent(0, false);
    EXPECT_FALSE(form.UsbPortProbe());
    EXPECT_EQ(form.ExchangeState().FUsbHandle, -1);
}

TEST_F(Commands, UsbDevicePresentLooksAtAllFourAndLeavesTheHandle) {
    TMainForm& form = Create();
    form.StageUsbHandleForTests(77);
    Usb.OpenedIndexes.clear();
    EXPECT_FALSE(form.UsbDevicePresent());
    Usb.SetPresent(3, true);
    EXPECT_TRUE(form.UsbDevicePresent());
    EXPECT_THAT(Usb.OpenedIndexes, ElementsAre(0, 1, 2, 3, 0, 1, 2, 3));
    EXPECT_THAT(Usb.OpenHandles, IsEmpty());
    EXPECT_EQ(form.ExchangeState().FUsbHandle, 77);
}

// A late reply to an abandoned query still held by the USB device when the next query goes
// out (the port closed in between): the new query's decoder gets its own reply alone.
TEST_F(Commands, StaleBytesInTheUsbDeviceNeverReachTheNextQuerysDecoder) {
    struct TCase {
        void (TMainForm::*Send)();
        std::string Stale;
        std::string Reply;
        std::string (*Decoded)(const TMainForm&);
        std::string Expected;
    };
    const TCase cases[] = {
        {&TMainForm::SendScaleQuery, "0,30,80,250,5,1,0,2\r", "0,1000,1000\r",
         [](const TMainForm& form) {
             return std::to_string(form.Settings().ScaleX) + "/" +
                    std::to_string(form.Settings().ScaleY);
         },
         "1000/1000"},
        {&TMainForm::SendFirmwareQuery, "0,0,24000,50000\r", "0,0,TC-60,2.10 0305\r",
         [](const TMainForm& form) {
             return form.Settings().FirmwareModel + " " + form.Settings().FirmwareVersion;
         },
         "TC-60 2.10"},
    };
    Usb.SetPresent(0, true);
    TMainForm& form = Create();
    SetPortText("USB0");
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Expected);
        Usb.DeviceInput[0] = test.Stale;
        (form.*test.Send)();
        Usb.DeviceInput[0] += test.Reply;
        for (int tick = 0; tick < 11; ++tick) {
            form.Timer1Timer();
        }
        EXPECT_EQ(test.Decoded(form), test.Expected);
    }
    EXPECT_THAT(Prompts.Shown, IsEmpty());
}

} // namespace
} // namespace app::test
