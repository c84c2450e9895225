// SPDX-License-Identifier: GPL-3.0-or-later
// The one outgoing path to the cutter: building a command, writing it on the link the
// port list names, and the small USB operations that make that link ready.

#include "app/main_form.h"

#include "protocol/commands.h"

#include <stdexcept>

namespace app {

namespace {

constexpr const char* kSentPrefix = "發送命令:";
constexpr std::int32_t kUsbDeviceCount = 4;

// A wizard field the dialogs have not provided reads as empty, which no conversion takes.
std::string FieldText(const std::function<std::string()>& field) {
    return field ? field() : std::string();
}

} // namespace

TLinkKind TMainForm::LinkKind() const {
    const std::string text = PortText();
    if (text.find("COM") != std::string::npos) {
        return lkSerial;
    }
    if (text.find("USB") != std::string::npos) {
        return lkUsb;
    }
    return lkNone;
}

int TMainForm::UsbDeviceIndex() const {
    const std::string text = PortText();
    if (text.size() < 4) {
        throw std::out_of_range("'" + text +
                                "' names no USB device: the port must be USB0 to USB3");
    }
    return static_cast<unsigned char>(text[3]) - '0';
}

// A build that fails leaves FCommandText empty and sends nothing.
void TMainForm::SendCommand(protocol::TCommandCode code) {
    FExchange.FCommandText.clear();
    FExchange.FCommandText = BuildCommandText(code);
    try {
        WriteCommandText();
    } catch (...) {
        FExchange.FCommandText.clear();
        throw;
    }
    FExchange.FCommandText.clear();
}

// The sizes and scale values a command carries are kept only once the whole command has
// been built, so a refused size leaves the earlier ones in place.
std::string TMainForm::BuildCommandText(protocol::TCommandCode code) {
    switch (code) {
    case protocol::ccTestDraw: {
        const double width = protocol::LengthUnitsFromText(FieldText(FWizardFields.TestDrawX), "X");
        const double height =
            protocol::LengthUnitsFromText(FieldText(FWizardFields.TestDrawY), "Y");
        FExchange.FTestDrawX = width;
        FExchange.FTestDrawY = height;
        return protocol::TestDrawText(FExchange.FTestDrawX, FExchange.FTestDrawY);
    }
    case protocol::ccCorrectedTestDraw: {
        const double measuredX =
            protocol::LengthUnitsFromText(FieldText(FWizardFields.MeasuredX), "Length X");
        const double measuredY =
            protocol::LengthUnitsFromText(FieldText(FWizardFields.MeasuredY), "Width Y");
        const std::int32_t width = protocol::CorrectedLength(FExchange.FTestDrawX, measuredX);
        const std::int32_t height = protocol::CorrectedLength(FExchange.FTestDrawY, measuredY);
        FExchange.FMeasuredX = measuredX;
        FExchange.FMeasuredY = measuredY;
        return protocol::TestDrawText(width, height);
    }
    case protocol::ccWriteScale: {
        const TScaleValues scale = ScaleToWrite();
        FExchange.FNewScaleX = scale.X;
        FExchange.FNewScaleY = scale.Y;
        return protocol::WriteScaleText(FExchange.FNewScaleX, FExchange.FNewScaleY);
    }
    default:
        return protocol::QueryCommandText(code);
    }
}

// A serial link with a USB cutter attached carries nothing: the cutter is not listening
// there. The senders tell the operator.
void TMainForm::WriteCommandText() {
    const auto count = static_cast<std::uint32_t>(FExchange.FCommandText.size());
    switch (LinkKind()) {
    case lkSerial:
        if (UsbDevicePresent() || !Comm1.Enabled()) {
            return;
        }
        Comm1.Write(FExchange.FCommandText.data(), count);
        break;
    case lkUsb:
        FUsb.UsbSend(FExchange.FUsbHandle, FExchange.FCommandText.data(),
                     static_cast<std::int32_t>(count));
        break;
    case lkNone:
        return;
    }
    AddLog(kSentPrefix + Latin1ToUtf8(FExchange.FCommandText));
}

// A handle still open from an earlier exchange is closed first: the device may take only
// one opener, and the handle would otherwise be lost.
bool TMainForm::UsbPortProbe() {
    if (IsOpenUsbHandle(FExchange.FUsbHandle)) {
        FUsb.UsbCloseDevice(FExchange.FUsbHandle);
    }
    FExchange.FUsbHandle = kNoUsbHandle;
    FExchange.FUsbHandle = FUsb.UsbOpenDevice(UsbDeviceIndex());
    if (FExchange.FUsbHandle == kFailedUsbHandle) {
        return false;
    }
    UsbPortClose();
    return true;
}

// Any printer-class device answers, so the log names each one: the operator sees whether
// the device that blocks the COM port is the cutter.
bool TMainForm::UsbDevicePresent() {
    bool answering = false;
    ProbeUsbDevices([this, &answering](std::int32_t index) {
        answering = true;
        AddLog("USB" + std::to_string(index) +
               " attached, device ID: " + DeviceIdOrNone(FUsb.UsbDeviceId(index)));
    });
    return answering;
}

void TMainForm::ProbeUsbDevices(const std::function<void(std::int32_t index)>& onAnswering,
                                const std::function<void(std::int32_t index)>& onRefused) {
    for (std::int32_t index = 0; index < kUsbDeviceCount; ++index) {
        const std::int32_t handle = FUsb.UsbOpenDevice(index);
        if (handle == kFailedUsbHandle) {
            if (onRefused) {
                onRefused(index);
            }
            continue;
        }
        onAnswering(index);
        FUsb.UsbCloseDevice(handle);
    }
}

void TMainForm::UsbPortOpen() {
    if (IsOpenUsbHandle(FExchange.FUsbHandle)) {
        AddLog("Port has already been opened!");
        return;
    }
    FExchange.FUsbHandle = FUsb.UsbOpenDevice(UsbDeviceIndex());
    AddLog("Open " + PortText() + (FExchange.FUsbHandle == kFailedUsbHandle ? " Failed" : " OK"));
    if (FExchange.FUsbHandle != kFailedUsbHandle) {
        ForgetOpenFailure();
    }
}

void TMainForm::UsbPortClose() {
    if (FExchange.FUsbHandle == kFailedUsbHandle) {
        return;
    }
    FUsb.UsbCloseDevice(FExchange.FUsbHandle);
    FExchange.FUsbHandle = kNoUsbHandle;
}

TPlotterSize TMainForm::TestDrawSize() const {
    return {FExchange.FTestDrawX, FExchange.FTestDrawY};
}

TPlotterSize TMainForm::MeasuredSize() const {
    return {FExchange.FMeasuredX, FExchange.FMeasuredY};
}

TScaleValues TMainForm::NewScale() const {
    return {FExchange.FNewScaleX, FExchange.FNewScaleY};
}

TScaleValues TMainForm::ScaleToWrite() const {
    return {protocol::NewScaleValue(FSettings.ScaleX, FExchange.FMeasuredX, FExchange.FTestDrawX),
            protocol::NewScaleValue(FSettings.ScaleY, FExchange.FMeasuredY, FExchange.FTestDrawY)};
}

bool TMainForm::LinkOpen() const {
    switch (LinkKind()) {
    case lkSerial:
        return Comm1.Enabled();
    case lkUsb:
        return IsOpenUsbHandle(FExchange.FUsbHandle);
    case lkNone:
        return false;
    }
    return false;
}

} // namespace app
