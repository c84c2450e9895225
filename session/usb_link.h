// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The link over the USB library: the device the port name's digit names ("USB0" to
// "USB3"), held by a handle from its open to its close; its input is asked for on each
// tick.

#include "link/usb_api.h"
#include "session/link.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace session {

// A USB handle that names no device: none asked for yet, or the last open failed.
inline constexpr std::int32_t kNoUsbHandle = 0;
inline constexpr std::int32_t kFailedUsbHandle = -1;

inline bool IsOpenUsbHandle(std::int32_t handle) {
    return handle != kNoUsbHandle && handle != kFailedUsbHandle;
}

// A USB device's IEEE 1284 ID for a log line; a device may report none.
inline std::string DeviceIdOrNone(const std::string& deviceId) {
    return deviceId.empty() ? "none reported" : deviceId;
}

inline constexpr std::size_t kUsbBufferSize = 2097152;

class TUsbLink final : public TLink {
public:
    TUsbLink(devlink::TUsbApi& usb, TLinkReports& reports);

    TPortKind Kind() const override { return pkUsb; }
    void Check() override;
    // A handle still open from an earlier exchange is closed first: the device may take
    // only one opener, and the handle would otherwise be lost.
    bool Probe() override;
    devlink::TLinkError LastError() const override { return FUsb.UsbLastOpenError(); }
    devlink::TLinkError Open() override;
    bool IsOpen() const override { return IsOpenUsbHandle(FHandle); }
    bool HeldByUsbCutter() override { return false; }
    TWritten Write(std::string_view bytes) override;
    void TakeInput(std::uint32_t announced, const TInputSink& sink) override;
    std::size_t DiscardInput() override;
    void Close() override;

    // The device index the name gives: its fourth character minus '0'.
    int DeviceIndex() const;
    std::int32_t Handle() const { return FHandle; }
    void AdoptHandle(std::int32_t handle) { FHandle = handle; }

    // Opens each USB device in turn and closes it again: onAnswering runs while an
    // answering device is held, onRefused (when given) after an open that failed. The
    // link's own handle is left alone.
    void ForEachDevice(const std::function<void(std::int32_t index)>& onAnswering,
                       const std::function<void(std::int32_t index)>& onRefused = nullptr);
    // Whether any device answers; each one is logged with its ID, so the operator sees
    // whether the device that blocks a serial port is the cutter.
    bool AnyDeviceAttached();

private:
    devlink::TUsbApi& FUsb;
    TLinkReports& FReports;
    std::int32_t FHandle = kNoUsbHandle;
    // Left unfilled: each read writes what it reports before anything is taken from it,
    // and pages never written cost no memory.
    std::unique_ptr<char[]> FBuffer;
};

} // namespace session
