// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/in_process_usb.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace sim {
namespace {

constexpr std::int32_t kUsbFailure = -1;

} // namespace

TInProcessUsb::TInProcessUsb() = default;
TInProcessUsb::~TInProcessUsb() = default;

TInProcessLine& TInProcessUsb::AddDevice(std::int32_t index, TVirtualCutter& cutter,
                                         TFaults faults) {
    TDevice& device = FDevices[index];
    device.Line = std::make_unique<TInProcessLine>(cutter, std::move(faults));
    device.Present = true;
    return *device.Line;
}

TInProcessLine& TInProcessUsb::Line(std::int32_t index) {
    const auto found = FDevices.find(index);
    if (found == FDevices.end()) {
        throw std::out_of_range("no virtual USB device " + std::to_string(index));
    }
    return *found->second.Line;
}

void TInProcessUsb::SetPresent(std::int32_t index, bool present) {
    const auto found = FDevices.find(index);
    if (found != FDevices.end()) {
        found->second.Present = present;
    }
}

void TInProcessUsb::SetSendsFail(std::int32_t index, bool fail) {
    const auto found = FDevices.find(index);
    if (found != FDevices.end()) {
        found->second.SendsFail = fail;
    }
}

void TInProcessUsb::SetDeviceId(std::int32_t index, std::string id) {
    const auto found = FDevices.find(index);
    if (found != FDevices.end()) {
        found->second.DeviceId = std::move(id);
    }
}

std::string TInProcessUsb::UsbDeviceId(std::int32_t index) {
    const auto found = FDevices.find(index);
    return found != FDevices.end() && found->second.Present ? found->second.DeviceId
                                                            : std::string();
}

std::int32_t TInProcessUsb::UsbOpenDevice(std::int32_t index) {
    FLastOpenError = devlink::TLinkError::leNone;
    const auto found = FDevices.find(index);
    if (found == FDevices.end() || !found->second.Present || found->second.Line->HungUp()) {
        FLastOpenError = devlink::TLinkError::leNotFound;
        return kUsbFailure;
    }
    const std::int32_t handle = FNextHandle++;
    FHandles[handle] = index;
    return handle;
}

std::int32_t TInProcessUsb::UsbCloseDevice(std::int32_t handle) {
    const auto found = FHandles.find(handle);
    if (found == FHandles.end()) {
        return kUsbFailure;
    }
    const std::int32_t index = found->second;
    FHandles.erase(found);
    const bool stillOpen =
        std::any_of(FHandles.begin(), FHandles.end(),
                    [index](const auto& entry) { return entry.second == index; });
    if (!stillOpen) {
        // Nobody reads what the cutter still sends once the last handle is closed.
        FDevices[index].Line->DiscardAll();
    }
    return 0;
}

TInProcessUsb::TDevice* TInProcessUsb::Usable(std::int32_t handle, bool forReading) {
    const auto found = FHandles.find(handle);
    if (found == FHandles.end()) {
        return nullptr;
    }
    TDevice& device = FDevices[found->second];
    const TInProcessLine::TSnapshot line = device.Line->Snapshot();
    // What arrived before a hang-up can still be read.
    const bool carries = !line.HungUp || (forReading && line.Readable > 0);
    return device.Present && carries ? &device : nullptr;
}

std::int32_t TInProcessUsb::UsbSend(std::int32_t handle, const char* data, std::int32_t count) {
    TDevice* device = Usable(handle, false);
    if (device == nullptr || device->SendsFail || count < 0 || (count > 0 && data == nullptr)) {
        return kUsbFailure;
    }
    if (!device->Line->Send(std::string_view(data, static_cast<std::size_t>(count)))) {
        return kUsbFailure;
    }
    return count;
}

std::int32_t TInProcessUsb::UsbReceiveCheck(std::int32_t handle, std::uint32_t* count) {
    TDevice* device = Usable(handle, true);
    if (device == nullptr || count == nullptr) {
        return kUsbFailure;
    }
    *count = static_cast<std::uint32_t>(device->Line->Readable());
    return 0;
}

std::int32_t TInProcessUsb::UsbReceive(std::int32_t handle, char* buffer, std::int32_t capacity,
                                       std::uint32_t* count) {
    TDevice* device = Usable(handle, true);
    if (device == nullptr || count == nullptr || capacity < 0 ||
        (capacity > 0 && buffer == nullptr)) {
        return kUsbFailure;
    }
    const std::string bytes = device->Line->Take(static_cast<std::size_t>(capacity));
    if (!bytes.empty()) {
        std::memcpy(buffer, bytes.data(), bytes.size());
    }
    *count = static_cast<std::uint32_t>(bytes.size());
    return 0;
}

} // namespace sim
