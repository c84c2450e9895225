// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace devlink {

// The system generation record of the version query: the generation decides which
// source lists the serial ports (DetectWinGeneration).
struct TOsVersionInfo {
    std::uint32_t MajorVersion = 0;
    std::uint32_t MinorVersion = 0;
    std::uint32_t BuildNumber = 0;
    std::uint32_t PlatformId = 0;
};
// The platform id of the generation whose serial ports come from the serial device map;
// the Linux port sources report it.
inline constexpr std::uint32_t kVerPlatformWin32Nt = 2;

// One value of the system's serial device map: its name, its data (the port name the
// operator sees, "COM3") and, for the operator's benefit, the device behind it.
struct TSerialCommValue {
    std::string Name;
    std::string Data;
    std::string DevicePath;
};

// Where the system's serial port names come from.
class TPortSources {
public:
    virtual ~TPortSources() = default;

    // The version query; false when it fails.
    virtual bool GetVersionEx(TOsVersionInfo& info) = 0;
    // The port enumeration of the earlier generation: port names with a colon ("COM1:",
    // "LPT1:", "FILE:"); false when it fails. Linux has none; tests script it.
    virtual bool EnumPorts(std::vector<std::string>& portNames) = 0;
    // The values of the serial device map in enumeration order; false when the map cannot
    // be opened.
    virtual bool ReadSerialCommMap(std::vector<TSerialCommValue>& values) = 0;
    // The device a port name ("COM3", or a USB entry "USB0") stands for, for display;
    // empty when unknown.
    virtual std::string DevicePathOf(const std::string& portName) = 0;
    // The group whose members may read and write that device ("dialout"), for telling an
    // operator who lacks the permission what to join; empty when unknown or when no
    // group other than root's grants that.
    virtual std::string DeviceGroupOf(const std::string& portName) = 0;
};

} // namespace devlink
