// SPDX-License-Identifier: GPL-3.0-or-later
// Port discovery and selection: where the port list's entries come from, the check run
// when the operator picks one, and the opening and closing of the serial port around an
// exchange. The port list text is the only record of the chosen link.

#include "app/main_form.h"

#include <QComboBox>

namespace app {

namespace {

constexpr std::int32_t kGenerationNt = 2000;
constexpr std::int32_t kGenerationLegacy = 1998;
constexpr std::uint32_t kFirstNtMajorVersion = 5;

// The serial device map is read into fixed buffers; a value that does not fit is skipped.
constexpr std::size_t kValueNameCapacity = 260;
constexpr std::size_t kValueDataCapacity = 440;

const std::string kDevicePrefix = "\\\\.\\";

// Modem line selectors of GetModemState, in the order they are asked.
constexpr int kModemLines[] = {2 /* DSR */, 1 /* CTS */, 3 /* RING */, 4 /* RLSD */};

std::string UsbEntryTooltip(const std::string& devicePath, const std::string& deviceId) {
    if (deviceId.empty()) {
        return devicePath;
    }
    return devicePath.empty() ? deviceId : devicePath + "\n" + deviceId;
}

bool FitsReadBuffers(const devlink::TSerialCommValue& value) {
    return value.Name.size() < kValueNameCapacity && value.Data.size() < kValueDataCapacity;
}

std::string UpperCase(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

} // namespace

void TMainForm::DetectWinGeneration() {
    devlink::TOsVersionInfo info;
    if (!FPortSources.GetVersionEx(info)) {
        return;
    }
    const bool ntFamily = info.PlatformId == devlink::kVerPlatformWin32Nt &&
                          info.MajorVersion >= kFirstNtMajorVersion;
    FExchange.FWinGeneration = ntFamily ? kGenerationNt : kGenerationLegacy;
}

// Serial ports first, then the USB cutters that answer. The text field keeps its text,
// unless it is empty and the device map fills it.
void TMainForm::BuildPortList() {
    const std::string text = PortText();
    ComboBox1->clear();
    SetPortText(text);
    if (FExchange.FWinGeneration == kGenerationNt) {
        AddSerialCommPorts();
    }
    if (FExchange.FWinGeneration == kGenerationLegacy) {
        AddEnumeratedPorts();
    }
    AddUsbDevices();
}

// An empty text ends as the last port read, without a check. A text the operator chose
// or typed stays: opening the list must never move the link to another device.
void TMainForm::AddSerialCommPorts() {
    std::vector<devlink::TSerialCommValue> values;
    if (!FPortSources.ReadSerialCommMap(values)) {
        return;
    }
    const bool fillText = PortText().empty();
    for (const devlink::TSerialCommValue& value : values) {
        if (!FitsReadBuffers(value)) {
            continue;
        }
        const std::string devicePath =
            value.DevicePath.empty() ? FPortSources.DevicePathOf(value.Data) : value.DevicePath;
        AddPortItem(value.Data, devicePath);
        if (fillText) {
            SetPortText(value.Data);
        }
    }
}

// Port names such as "COM1:" lose their last character; names without COM are skipped.
void TMainForm::AddEnumeratedPorts() {
    std::vector<std::string> portNames;
    if (!FPortSources.EnumPorts(portNames)) {
        return;
    }
    for (const std::string& portName : portNames) {
        const std::string name =
            portName.empty() ? portName : portName.substr(0, portName.size() - 1);
        if (UpperCase(name).find("COM") != std::string::npos) {
            AddPortItem(name, FPortSources.DevicePathOf(name));
        }
    }
}

// The probes leave FUsbHandle alone. Every printer-class device answers, not only
// cutters: the tooltip says which device an entry is. A device that is there but refuses
// is not listed, and the log says why.
void TMainForm::AddUsbDevices() {
    const auto entryOf = [](std::int32_t index) { return "USB" + std::to_string(index); };
    ProbeUsbDevices(
        [this, &entryOf](std::int32_t index) {
            const std::string entry = entryOf(index);
            AddPortItem(entry,
                        UsbEntryTooltip(FPortSources.DevicePathOf(entry), FUsb.UsbDeviceId(index)));
        },
        [this, &entryOf](std::int32_t index) {
            LogOpenFailureReason(entryOf(index), FUsb.UsbLastOpenError());
        });
}

// Adding an item never changes the text: the toolkit would select the first item of an
// empty list.
void TMainForm::AddPortItem(const std::string& name, const std::string& devicePath) {
    const std::string text = PortText();
    ComboBox1->addItem(QString::fromStdString(name));
    if (!devicePath.empty()) {
        ComboBox1->setItemData(ComboBox1->count() - 1, QString::fromStdString(devicePath),
                               Qt::ToolTipRole);
    }
    SetPortText(text);
}

// Selects the item of that text, if any, so the list and the text agree and the toolkit
// finds nothing to select on its own when editing ends.
void TMainForm::SetPortText(const std::string& text) {
    const QString portText = QString::fromStdString(text);
    ComboBox1->setCurrentIndex(
        ComboBox1->findText(portText, Qt::MatchExactly | Qt::MatchCaseSensitive));
    ComboBox1->setEditText(portText);
}

void TMainForm::ComboBox1DropDown() {
    BuildPortList();
}

// The selection check. A query under way is abandoned; the buttons stay as they are.
void TMainForm::ComboBox1Change() {
    const bool scaleQueryAbandoned = FExchange.FScaleReadRequest != 0;
    FExchange.FPollSizeRequest = 0;
    FExchange.FLoopDetect = 0;
    FExchange.FFirmwareRequest = 0;
    FExchange.FScaleReadRequest = 0;
    FExchange.FScaleReadBack = 0;
    FExchange.FReplyText.clear();
    // The wizard waits for this answer before it writes; it will not come now.
    if (scaleQueryAbandoned) {
        ScaleQueryFinished(false);
    }
    const std::string text = PortText();
    switch (LinkKind()) {
    case lkSerial:
        CheckSerialPort(text);
        break;
    case lkUsb:
        CheckUsbDevice(text);
        break;
    case lkNone:
        break;
    }
}

// The device ID tells the operator whether the entry is the cutter or another printer.
void TMainForm::CheckUsbDevice(const std::string& text) {
    if (!UsbPortProbe()) {
        LogUsbDeviceNotFound();
        return;
    }
    ForgetOpenFailure();
    AddLog(text + " Check OK");
    AddLog(text + " device ID: " + DeviceIdOrNone(FUsb.UsbDeviceId(UsbDeviceIndex())));
}

// Opens the port, looks for a modem line and closes it again. A port still open from an
// exchange keeps its device: the new name takes effect at the next open.
void TMainForm::CheckSerialPort(const std::string& text) {
    Comm1.SetDeviceName(kDevicePrefix + text);
    try {
        Comm1.Open();
    } catch (const std::exception&) {
        AddLog(text + " can't Open");
    }
    if (Comm1.Enabled()) {
        AddLog(ModemLinesActive() ? text + " Check OK" : kDeviceNotFoundText);
        Comm1.Close();
        return;
    }
    AddLog(text + " Check Fail");
    LogOpenFailureReason(text, Comm1.LastError());
}

void TMainForm::LogUsbDeviceNotFound() {
    const devlink::TLinkError openError = FUsb.UsbLastOpenError();
    AddLog(kDeviceNotFoundText);
    LogOpenFailureReason(PortText(), openError);
}

// Tells the operator what to do when the port exists but cannot be had.
void TMainForm::LogOpenFailureReason(const std::string& text, devlink::TLinkError error) {
    std::string device = FPortSources.DevicePathOf(text);
    if (device.empty()) {
        device = text;
    }
    std::string reason;
    switch (error) {
    case devlink::TLinkError::leDenied: {
        const std::string group = FPortSources.DeviceGroupOf(text);
        reason = "Permission denied on " + device +
                 (group.empty() ? ": ask the administrator for access"
                                : ": add your user to the group " + group);
        break;
    }
    case devlink::TLinkError::leBusy:
        reason = device + " is in use by another program";
        break;
    default:
        break;
    }
    NoteOpenFailure(text, reason);
}

bool TMainForm::ModemLinesActive() {
    for (const int line : kModemLines) {
        if (Comm1.GetModemState(line)) {
            return true;
        }
    }
    return false;
}

void TMainForm::ComPortOpen() {
    const std::string text = PortText();
    Comm1.SetDeviceName(kDevicePrefix + text);
    if (Comm1.Enabled()) {
        AddLog("Port has already been opened!");
        return;
    }
    Comm1.Open();
    const devlink::TLinkError openError = Comm1.LastError();
    Comm1.SetRTSState(true);
    Comm1.SetDTRState(true);
    if (Comm1.Enabled()) {
        ForgetOpenFailure();
        AddLog(text + " Check OK");
    } else {
        LogOpenFailureReason(text, openError);
    }
}

void TMainForm::ComPortClose() {
    if (!Comm1.Enabled()) {
        AddLog("Port has not been opened!");
        return;
    }
    Comm1.Close();
    if (!Comm1.Enabled()) {
        AddLog("Close " + PortText() + " OK");
    }
}

} // namespace app
