// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Scripted stand-ins for the platform's USB library and port sources, for what no cutter
// does: devices that refuse to open, port lists the system spoils.

#include "link/port_sources.h"
#include "link/usb_api.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace testsupport {

inline constexpr const char* kSerialPort = "COM1";

// Devices answer on the indexes set present; each open hands out a new handle.
class TFakeUsbApi : public devlink::TUsbApi {
public:
    void SetPresent(std::int32_t index, bool present);

    std::int32_t UsbOpenDevice(std::int32_t index) override;
    std::int32_t UsbCloseDevice(std::int32_t handle) override;
    std::int32_t UsbSend(std::int32_t handle, const char* data, std::int32_t count) override;
    std::int32_t UsbReceiveCheck(std::int32_t handle, std::uint32_t* count) override;
    std::int32_t UsbReceive(std::int32_t handle, char* buffer, std::int32_t capacity,
                            std::uint32_t* count) override;
    devlink::TLinkError UsbLastOpenError() override { return FLastOpenError; }
    std::string UsbDeviceId(std::int32_t index) override { return DeviceIds[index]; }

    // Present devices that refuse to open, with the reason they give.
    std::map<std::int32_t, devlink::TLinkError> Refusals;
    std::map<std::int32_t, std::string> DeviceIds;
    bool SendsFail = false; // every send fails, also on an open handle
    std::vector<std::int32_t> OpenedIndexes;
    std::vector<std::int32_t> ClosedHandles;
    std::set<std::int32_t> OpenHandles;
    struct TSent {
        std::int32_t Handle;
        std::string Bytes;
    };
    std::vector<TSent> Sent;
    // Bytes each device (by index) holds for reading; kept while no handle is open, as a
    // device keeps what the cutter sent.
    std::map<std::int32_t, std::string> DeviceInput;

private:
    std::map<std::int32_t, std::int32_t> FIndexOfHandle;
    std::set<std::int32_t> FPresent;
    std::int32_t FNextHandle = 100;
    devlink::TLinkError FLastOpenError = devlink::TLinkError::leNone;
};

// Answers as scripted; by default a later system without ports.
class TFakePortSources : public devlink::TPortSources {
public:
    bool VersionAnswers = true;
    devlink::TOsVersionInfo Version{6, 1, 7601, devlink::kVerPlatformWin32Nt};
    bool EnumAnswers = true;
    std::vector<std::string> EnumeratedPorts;
    bool MapAnswers = true;
    std::vector<devlink::TSerialCommValue> SerialCommMap;
    std::map<std::string, std::string> DevicePaths;
    std::map<std::string, std::string> DeviceGroups;

    // A 2000-generation system whose serial device map holds the one port COM1.
    void HoldOnlyComOne();

    bool GetVersionEx(devlink::TOsVersionInfo& info) override;
    bool EnumPorts(std::vector<std::string>& portNames) override;
    bool ReadSerialCommMap(std::vector<devlink::TSerialCommValue>& values) override;
    std::string DevicePathOf(const std::string& portName) override;
    std::string DeviceGroupOf(const std::string& portName) override;
};

} // namespace testsupport
