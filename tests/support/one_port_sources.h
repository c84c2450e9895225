// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A 2000-generation system whose serial device map holds the one port COM1.

#include "link/port_sources.h"

#include <string>
#include <vector>

namespace testsupport {

inline constexpr const char* kSerialPort = "COM1";

class TOnePortSources : public devlink::TPortSources {
public:
    bool GetVersionEx(devlink::TOsVersionInfo& info) override;
    bool EnumPorts(std::vector<std::string>& portNames) override;
    bool ReadSerialCommMap(std::vector<devlink::TSerialCommValue>& values) override;
    std::string DevicePathOf(const std::string& portName) override;
    std::string DeviceGroupOf(const std::string& portName) override;
};

} // namespace testsupport
