// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/usb_link.h"

#include <algorithm>
#include <stdexcept>

namespace session {

namespace {

constexpr std::int32_t kUsbDeviceCount = 4;
// Bounded, so a device that never stops sending cannot hold the session in a discard.
constexpr int kMaxDiscardReads = 16;

} // namespace

TUsbLink::TUsbLink(devlink::TUsbApi& usb, TLinkReports& reports)
    : FUsb(usb), FReports(reports),
      FBuffer(std::make_unique_for_overwrite<char[]>(kUsbBufferSize)) {}

int TUsbLink::DeviceIndex() const {
    const std::string& text = DeviceName();
    // USB0 to USB3 and nothing else: USB12 is not USB1.
    if (text.size() != 4 || !text.starts_with("USB") || text[3] < '0' || text[3] > '3') {
        throw std::out_of_range("'" + text +
                                "' names no USB device: the port must be USB0 to USB3");
    }
    return static_cast<unsigned char>(text[3]) - '0';
}

// The device ID tells the operator whether the entry is the cutter or another printer.
void TUsbLink::Check() {
    const std::string& text = DeviceName();
    if (!Probe()) {
        FReports.DeviceNotFound(text, FUsb.UsbLastOpenError());
        return;
    }
    FReports.LinkOpened();
    FReports.Log(text + " Check OK");
    FReports.Log(text + " device ID: " + DeviceIdOrNone(FUsb.UsbDeviceId(DeviceIndex())));
}

bool TUsbLink::Probe() {
    if (IsOpenUsbHandle(FHandle)) {
        FUsb.UsbCloseDevice(FHandle);
    }
    FHandle = kNoUsbHandle;
    FHandle = FUsb.UsbOpenDevice(DeviceIndex());
    if (FHandle == kFailedUsbHandle) {
        return false;
    }
    Close();
    return true;
}

devlink::TLinkError TUsbLink::Open() {
    if (IsOpenUsbHandle(FHandle)) {
        FReports.Log("Port has already been opened!");
        return devlink::TLinkError::leNone;
    }
    FHandle = FUsb.UsbOpenDevice(DeviceIndex());
    const bool failed = FHandle == kFailedUsbHandle;
    FReports.Log("Open " + DeviceName() + (failed ? " Failed" : " OK"));
    if (!failed) {
        FReports.LinkOpened();
        return devlink::TLinkError::leNone;
    }
    const devlink::TLinkError error = FUsb.UsbLastOpenError();
    return error == devlink::TLinkError::leNone ? devlink::TLinkError::leOther : error;
}

TWritten TUsbLink::Write(std::string_view bytes) {
    const std::int64_t taken =
        FUsb.UsbSend(FHandle, bytes.data(), static_cast<std::int32_t>(bytes.size()));
    return {true, taken, taken < 0};
}

// Zero bytes in what the device hands over are padding, not reply.
void TUsbLink::TakeInput(std::uint32_t /*announced*/, const TInputSink& sink) {
    std::uint32_t count = 0;
    if (FUsb.UsbReceiveCheck(FHandle, &count) < 0) {
        return;
    }
    if (FUsb.UsbReceive(FHandle, FBuffer.get(), static_cast<std::int32_t>(kUsbBufferSize), &count) <
        0) {
        return;
    }
    // A count beyond the buffer cannot be true; never read past it.
    count = static_cast<std::uint32_t>(std::min<std::size_t>(count, kUsbBufferSize));
    FReports.Log("Receive Data : " + std::to_string(count) + " bytes");
    std::string received;
    std::copy_if(FBuffer.get(), FBuffer.get() + count, std::back_inserter(received),
                 [](char byte) { return byte != '\0'; });
    sink(received.data(), received.size());
}

std::size_t TUsbLink::DiscardInput() {
    std::size_t discarded = 0;
    for (int read = 0; read < kMaxDiscardReads; ++read) {
        std::uint32_t count = 0;
        if (FUsb.UsbReceiveCheck(FHandle, &count) < 0 ||
            FUsb.UsbReceive(FHandle, FBuffer.get(), static_cast<std::int32_t>(kUsbBufferSize),
                            &count) < 0 ||
            count == 0) {
            break;
        }
        discarded += std::min<std::size_t>(count, kUsbBufferSize);
    }
    return discarded;
}

void TUsbLink::Close() {
    if (FHandle == kFailedUsbHandle) {
        return;
    }
    FUsb.UsbCloseDevice(FHandle);
    FHandle = kNoUsbHandle;
}

void TUsbLink::ForEachDevice(const std::function<void(std::int32_t index)>& onAnswering,
                             const std::function<void(std::int32_t index)>& onRefused) {
    for (std::int32_t index = 0; index < kUsbDeviceCount; ++index) {
        const std::int32_t handle = FUsb.UsbOpenDevice(index);
        if (handle == kFailedUsbHandle) {
            if (onRefused) {
                onRefused(index);
            }
            continue;
        }
        onAnswering(index);
        FUsb.UsbCloseDevice(handle);
    }
}

bool TUsbLink::AnyDeviceAttached() {
    bool answering = false;
    ForEachDevice([this, &answering](std::int32_t index) {
        answering = true;
        FReports.Log("USB" + std::to_string(index) +
                     " attached, device ID: " + DeviceIdOrNone(FUsb.UsbDeviceId(index)));
    });
    return answering;
}

} // namespace session
