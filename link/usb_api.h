// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/link_error.h"

#include <cstdint>
#include <string>

namespace devlink {

// The five operations of the USB link library, with the library's own call contract.
// A device is named by an index (0 to 3 in discovery) and, once open, by a 32-bit handle.
class TUsbApi {
public:
    virtual ~TUsbApi() = default;

    // Opens device `index`; the handle, or -1 when there is no such device or it fails.
    virtual std::int32_t UsbOpenDevice(std::int32_t index) = 0;
    // Closes a handle; callers also pass 0 (nothing open) and ignore the result.
    virtual std::int32_t UsbCloseDevice(std::int32_t handle) = 0;
    // Sends all bytes; callers pass whatever handle they hold (even 0 or -1) and ignore
    // the result.
    virtual std::int32_t UsbSend(std::int32_t handle, const char* data, std::int32_t count) = 0;
    // Negative: nothing can be read this time. Otherwise `count` is handed on to UsbReceive.
    virtual std::int32_t UsbReceiveCheck(std::int32_t handle, std::uint32_t* count) = 0;
    // Reads what has arrived into `buffer` (at most `capacity` bytes) and stores the number
    // of bytes placed there in `count`. Negative: failure, nothing used.
    virtual std::int32_t UsbReceive(std::int32_t handle, char* buffer, std::int32_t capacity,
                                    std::uint32_t* count) = 0;

    // Beyond the library's five: what this port can tell the operator. A library that
    // cannot tell keeps these defaults.

    // Why the last UsbOpenDevice that returned -1 failed; leNone when it did not fail or
    // the reason is unknown.
    virtual TLinkError UsbLastOpenError() { return TLinkError::leNone; }
    // The IEEE 1284 device ID the device of `index` reports ("MFG:...;MDL:...;"), so the
    // operator sees which device an entry is; empty when it reports none.
    virtual std::string UsbDeviceId(std::int32_t /*index*/) { return {}; }
};

} // namespace devlink
