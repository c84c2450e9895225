// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace session {

// One entry of the port list: its name, the device behind it and a USB device's ID.
// Entries of the serial device map may fill an empty port list text.
struct TPortEntry {
    std::string Name;
    bool FillsEmptyText = false;
    std::string DevicePath;
    std::string UsbDeviceId; // empty when the device reports none, and for serial ports

    // What the port list's tooltip says: the device path, and a USB device's ID under it.
    std::string Tooltip() const {
        if (UsbDeviceId.empty() || DevicePath.empty()) {
            return DevicePath.empty() ? UsbDeviceId : DevicePath;
        }
        return DevicePath + "\n" + UsbDeviceId;
    }
};

} // namespace session
