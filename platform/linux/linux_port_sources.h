// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/port_sources.h"
#include "platform/linux/port_table.h"

namespace platform {

// Serial port names from the port table. The version query answers an NT 5 system, so the
// serial device map is the source of COM names; the printing subsystem's port list does
// not exist here.
class TLinuxPortSources final : public devlink::TPortSources {
public:
    explicit TLinuxPortSources(TPortTable table = TPortTable());

    bool GetVersionEx(devlink::TOsVersionInfo& info) override;
    bool EnumPorts(std::vector<std::string>& portNames) override;
    // Every port of the table in ascending COM number: Name the map link or device node,
    // Data "COM<n>", DevicePath the device behind it.
    bool ReadSerialCommMap(std::vector<devlink::TSerialCommValue>& values) override;
    std::string DevicePathOf(const std::string& portName) override;
    std::string DeviceGroupOf(const std::string& portName) override;

private:
    // The device of a COM port name or of a USB entry "USB<i>".
    std::optional<std::filesystem::path> DeviceOf(const std::string& portName) const;

    TPortTable FTable;
};

} // namespace platform
