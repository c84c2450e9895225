// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/platform_fakes.h"

#include <algorithm>
#include <cstring>

namespace testsupport {

void TFakeUsbApi::SetPresent(std::int32_t index, bool present) {
    if (present) {
        FPresent.insert(index);
    } else {
        FPresent.erase(index);
    }
}

std::int32_t TFakeUsbApi::UsbOpenDevice(std::int32_t index) {
    OpenedIndexes.push_back(index);
    FLastOpenError = FPresent.count(index) == 0 ? devlink::TLinkError::leNotFound : Refusals[index];
    if (FLastOpenError != devlink::TLinkError::leNone) {
        return -1;
    }
    const std::int32_t handle = FNextHandle++;
    OpenHandles.insert(handle);
    FIndexOfHandle[handle] = index;
    return handle;
}

std::int32_t TFakeUsbApi::UsbCloseDevice(std::int32_t handle) {
    ClosedHandles.push_back(handle);
    return OpenHandles.erase(handle) == 1 ? 0 : -1;
}

std::int32_t TFakeUsbApi::UsbSend(std::int32_t handle, const char* data, std::int32_t count) {
    Sent.push_back({handle, std::string(data, static_cast<std::size_t>(count))});
    return OpenHandles.count(handle) == 1 && !SendsFail ? count : -1;
}

std::int32_t TFakeUsbApi::UsbReceiveCheck(std::int32_t handle, std::uint32_t* count) {
    *count = 0;
    if (OpenHandles.count(handle) == 0) {
        return -1;
    }
    *count = static_cast<std::uint32_t>(DeviceInput[FIndexOfHandle[handle]].size());
    return 0;
}

std::int32_t TFakeUsbApi::UsbReceive(std::int32_t handle, char* buffer, std::int32_t capacity,
                                     std::uint32_t* count) {
    *count = 0;
    if (OpenHandles.count(handle) == 0) {
        return -1;
    }
    std::string& input = DeviceInput[FIndexOfHandle[handle]];
    const std::size_t taken = std::min(input.size(), static_cast<std::size_t>(capacity));
    std::memcpy(buffer, input.data(), taken);
    input.erase(0, taken);
    *count = static_cast<std::uint32_t>(taken);
    return 0;
}

void TFakePortSources::HoldOnlyComOne() {
    Version = {5, 1, 2600, devlink::kVerPlatformWin32Nt};
    EnumeratedPorts = {std::string(kSerialPort) + ":"};
    SerialCommMap = {{"\\Device\\Serial0", kSerialPort, "/dev/ttyS0"}};
    DevicePaths = {{kSerialPort, "/dev/ttyS0"}};
    DeviceGroups = {{kSerialPort, "dialout"}};
}

bool TFakePortSources::GetVersionEx(devlink::TOsVersionInfo& info) {
    if (VersionAnswers) {
        info = Version;
    }
    return VersionAnswers;
}

bool TFakePortSources::EnumPorts(std::vector<std::string>& portNames) {
    if (EnumAnswers) {
        portNames = EnumeratedPorts;
    }
    return EnumAnswers;
}

bool TFakePortSources::ReadSerialCommMap(std::vector<devlink::TSerialCommValue>& values) {
    if (MapAnswers) {
        values = SerialCommMap;
    }
    return MapAnswers;
}

std::string TFakePortSources::DevicePathOf(const std::string& portName) {
    const auto found = DevicePaths.find(portName);
    return found == DevicePaths.end() ? std::string() : found->second;
}

std::string TFakePortSources::DeviceGroupOf(const std::string& portName) {
    const auto found = DeviceGroups.find(portName);
    return found == DeviceGroups.end() ? std::string() : found->second;
}

} // namespace testsupport
