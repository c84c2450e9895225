// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/port_sources.h"
#include "platform/linux/port_table.h"

namespace platform {

// Serial port names from the port table (sysfs and the device map). The version query
// reports the generation whose port list comes from the serial device map, so that map,
// read from the port table, is the source of COM names; there is no printing subsystem's
// port list to enumerate here.
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
