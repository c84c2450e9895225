// SPDX-License-Identifier: GPL-3.0-or-later
// Port discovery and selection: where the port list's entries come from, the check run
// when the operator picks one, and why a link did not open.

#include "session/cutter_session.h"
#include "toolkit/conversions.h"

#include <algorithm>

namespace session {

namespace {

constexpr std::int32_t kGenerationNt = 2000;
constexpr std::int32_t kGenerationLegacy = 1998;
constexpr std::uint32_t kFirstNtMajorVersion = 5;

// The serial device map is read into fixed buffers; a value that does not fit is skipped.
constexpr std::size_t kValueNameCapacity = 260;
constexpr std::size_t kValueDataCapacity = 440;

bool FitsReadBuffers(const devlink::TSerialCommValue& value) {
    return value.Name.size() < kValueNameCapacity && value.Data.size() < kValueDataCapacity;
}

} // namespace

void TCutterSession::DetectWinGeneration() {
    devlink::TOsVersionInfo info;
    if (!FPortSources.GetVersionEx(info)) {
        return;
    }
    const bool ntFamily = info.PlatformId == devlink::kVerPlatformWin32Nt &&
                          info.MajorVersion >= kFirstNtMajorVersion;
    FExchange.FWinGeneration = ntFamily ? kGenerationNt : kGenerationLegacy;
}

std::vector<TPortEntry> TCutterSession::PortEntries() {
    std::vector<TPortEntry> entries;
    if (FExchange.FWinGeneration == kGenerationNt) {
        AddSerialCommPorts(entries);
    }
    if (FExchange.FWinGeneration == kGenerationLegacy) {
        AddEnumeratedPorts(entries);
    }
    AddUsbDevices(entries);
    FListedPorts = entries;
    return entries;
}

TPortEntry TCutterSession::ListedPort(const std::string& portName) const {
    const auto listed =
        std::find_if(FListedPorts.begin(), FListedPorts.end(),
                     [&portName](const TPortEntry& entry) { return entry.Name == portName; });
    return listed == FListedPorts.end() ? TPortEntry{} : *listed;
}

// Each entry of the device map may fill an empty text: the last one read ends there.
void TCutterSession::AddSerialCommPorts(std::vector<TPortEntry>& entries) {
    std::vector<devlink::TSerialCommValue> values;
    if (!FPortSources.ReadSerialCommMap(values)) {
        return;
    }
    for (const devlink::TSerialCommValue& value : values) {
        if (!FitsReadBuffers(value)) {
            continue;
        }
        const std::string devicePath =
            value.DevicePath.empty() ? FPortSources.DevicePathOf(value.Data) : value.DevicePath;
        entries.push_back({value.Data, true, devicePath, {}});
    }
}

// Port names such as "COM1:" lose their last character; names without COM are skipped.
void TCutterSession::AddEnumeratedPorts(std::vector<TPortEntry>& entries) {
    std::vector<std::string> portNames;
    if (!FPortSources.EnumPorts(portNames)) {
        return;
    }
    for (const std::string& portName : portNames) {
        const std::string name =
            portName.empty() ? portName : portName.substr(0, portName.size() - 1);
        if (toolkit::UpperCase(name).find("COM") != std::string::npos) {
            const std::string devicePath = FPortSources.DevicePathOf(name);
            entries.push_back({name, false, devicePath, {}});
        }
    }
}

// The probes leave the USB link's handle alone. Every printer-class device answers, not only
// cutters: the tooltip says which device an entry is. A device that is there but refuses
// is not listed, and the log says why.
void TCutterSession::AddUsbDevices(std::vector<TPortEntry>& entries) {
    const auto entryOf = [](std::int32_t index) { return "USB" + std::to_string(index); };
    FUsbLink.ForEachDevice(
        [this, &entryOf, &entries](std::int32_t index) {
            const std::string entry = entryOf(index);
            entries.push_back(
                {entry, false, FPortSources.DevicePathOf(entry), FUsb.UsbDeviceId(index)});
        },
        [this, &entryOf](std::int32_t index) {
            LinkRefused(entryOf(index), FUsb.UsbLastOpenError());
        });
}

// The selection check. A query under way is abandoned.
void TCutterSession::SelectPort(const std::string& portName) {
    SetPortName(portName);
    // The wizard waits for a scale answer before it writes; it will not come now.
    if (ClearQueries()) {
        ScaleQueryFinished(false);
    }
    if (FChosenLink != nullptr) {
        FChosenLink->Check();
    }
}

// Tells the operator what to do when the port exists but cannot be had.
void TCutterSession::LinkRefused(const std::string& text, devlink::TLinkError error) {
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

} // namespace session
