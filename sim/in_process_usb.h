// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/usb_api.h"
#include "sim/cutter_model.h"
#include "sim/in_process_line.h"
#include "sim/reply_plan.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace sim {

// The USB link library with virtual cutters on the device indexes the test configures.
// Replies become readable as the test delivers them through Line(index). While a cutter is
// silent the receive check succeeds with a count of 0 and a receive places 0 bytes, as
// the library does; a hang-up or an unplugged device makes both negative.
class TInProcessUsb : public devlink::TUsbApi {
public:
    TInProcessUsb();
    ~TInProcessUsb() override;

    // Plugs a cutter in at `index`; the line stays valid while this object lives.
    TInProcessLine& AddDevice(std::int32_t index, TVirtualCutter& cutter, TFaults faults = {});
    TInProcessLine& Line(std::int32_t index);
    // Unplugged devices fail to open; handles already open on them fail every call.
    void SetPresent(std::int32_t index, bool present);
    // Sends to the device at `index` fail while it stays present and open.
    void SetSendsFail(std::int32_t index, bool fail);
    // The IEEE 1284 device ID the device at `index` reports.
    void SetDeviceId(std::int32_t index, std::string id);
    std::size_t OpenHandleCount() const { return FHandles.size(); }

    std::int32_t UsbOpenDevice(std::int32_t index) override;
    std::int32_t UsbCloseDevice(std::int32_t handle) override;
    std::int32_t UsbSend(std::int32_t handle, const char* data, std::int32_t count) override;
    std::int32_t UsbReceiveCheck(std::int32_t handle, std::uint32_t* count) override;
    std::int32_t UsbReceive(std::int32_t handle, char* buffer, std::int32_t capacity,
                            std::uint32_t* count) override;
    devlink::TLinkError UsbLastOpenError() override { return FLastOpenError; }
    std::string UsbDeviceId(std::int32_t index) override;

private:
    struct TDevice {
        std::unique_ptr<TInProcessLine> Line;
        bool Present = true;
        bool SendsFail = false;
        std::string DeviceId;
    };

    // The device behind an open handle that can still carry data; nullptr otherwise.
    TDevice* Usable(std::int32_t handle, bool forReading);

    std::map<std::int32_t, TDevice> FDevices;
    std::map<std::int32_t, std::int32_t> FHandles; // handle -> device index
    std::int32_t FNextHandle = 0x1000;
    devlink::TLinkError FLastOpenError = devlink::TLinkError::leNone;
};

} // namespace sim
