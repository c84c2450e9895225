// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/usb_api.h"
#include "platform/linux/file_descriptor.h"
#include "platform/linux/port_table.h"

#include <array>
#include <cstdint>
#include <string>

namespace platform {

// The USB link library over character devices: device index i is the device map's USB<i>,
// else /dev/usb/lp<i> (the USB printer class). A handle is the number of a slot of a small
// fixed table (1 and up), never a descriptor; 0, -1 and handles of closed devices are
// refused harmlessly. A device is held exclusively while open: another program cannot
// open it, while this one can open it again (a probe finds the cutter it holds). A fresh
// open starts with nothing left from before. No transfer allocates.
class TLinuxUsbApi final : public devlink::TUsbApi {
public:
    explicit TLinuxUsbApi(TPortTable table = TPortTable());

    std::int32_t UsbOpenDevice(std::int32_t index) override;
    std::int32_t UsbCloseDevice(std::int32_t handle) override;
    // Blocks until every byte went, the device hung up, or kSendLimitMs passed; the
    // number of bytes sent, or -1.
    std::int32_t UsbSend(std::int32_t handle, const char* data, std::int32_t count) override;
    // Does not wait. 0 and the number of bytes waiting (0 where the device cannot tell)
    // when something can be read; -1 when nothing can, the device hung up included.
    std::int32_t UsbReceiveCheck(std::int32_t handle, std::uint32_t* count) override;
    std::int32_t UsbReceive(std::int32_t handle, char* buffer, std::int32_t capacity,
                            std::uint32_t* count) override;
    devlink::TLinkError UsbLastOpenError() override;
    // From the printer class's LPIOC_GET_DEVICE_ID, through the handle this object holds
    // on the device, else through a short open of its own.
    std::string UsbDeviceId(std::int32_t index) override;

    static constexpr int kSlotCount = 8;
    static constexpr int kSendLimitMs = 2000;

private:
    // The device of an open handle; -1 for any other handle.
    int DeviceOf(std::int32_t handle) const;
    // A descriptor this object holds open on device `index`; -1 when there is none.
    int HeldDeviceOf(std::int32_t index) const;
    TFileDescriptor OpenDevice(std::int32_t index) const;

    TPortTable FTable;
    std::array<TFileDescriptor, kSlotCount> FSlots;
    std::array<std::int32_t, kSlotCount> FSlotIndexes{};
    devlink::TLinkError FLastOpenError = devlink::TLinkError::leNone;
};

} // namespace platform
