// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linux_port_sources.h"

#include <algorithm>
#include <grp.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::uint32_t kReportedMajorVersion = 5;

std::string GroupName(gid_t group) {
    long bufferSize = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::string buffer(bufferSize > 0 ? static_cast<std::size_t>(bufferSize) : 16384, '\0');
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(group, &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
        return {};
    }
    return found->gr_name;
}

} // namespace

TLinuxPortSources::TLinuxPortSources(TPortTable table) : FTable(std::move(table)) {}

bool TLinuxPortSources::GetVersionEx(devlink::TOsVersionInfo& info) {
    info = devlink::TOsVersionInfo{};
    info.MajorVersion = kReportedMajorVersion;
    info.PlatformId = devlink::kVerPlatformWin32Nt;
    return true;
}

bool TLinuxPortSources::EnumPorts(std::vector<std::string>& portNames) {
    portNames.clear();
    return false;
}

bool TLinuxPortSources::ReadSerialCommMap(std::vector<devlink::TSerialCommValue>& values) {
    values.clear();
    for (const TSerialPortEntry& entry : FTable.ListSerial()) {
        values.push_back(
            {entry.Name, "COM" + std::to_string(entry.Number), entry.DevicePath.string()});
    }
    return true;
}

std::string TLinuxPortSources::DevicePathOf(const std::string& portName) {
    const std::optional<std::filesystem::path> device = DeviceOf(portName);
    return device ? device->string() : std::string();
}

std::optional<std::filesystem::path>
TLinuxPortSources::DeviceOf(const std::string& portName) const {
    const std::string_view usbPrefix = "USB";
    const bool usbEntry = portName.size() > usbPrefix.size() &&
                          portName.size() <= usbPrefix.size() + 2 &&
                          portName.compare(0, usbPrefix.size(), usbPrefix) == 0 &&
                          std::all_of(portName.begin() + usbPrefix.size(), portName.end(),
                                      [](char c) { return c >= '0' && c <= '9'; });
    if (usbEntry) {
        return FTable.FindUsb(std::stoi(portName.substr(usbPrefix.size())));
    }
    return FTable.ResolveSerial(portName);
}

std::string TLinuxPortSources::DeviceGroupOf(const std::string& portName) {
    const std::optional<std::filesystem::path> device = DeviceOf(portName);
    struct stat info {};
    if (!device || ::stat(device->c_str(), &info) != 0) {
        return {};
    }
    // Joining the group helps only when the group may read and write the device; root's
    // group is never one an operator should join.
    const bool groupMayUse = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (!groupMayUse || info.st_gid == 0) {
        return {};
    }
    return GroupName(info.st_gid);
}

} // namespace platform
