// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One link to the cutter, whatever carries it: opened, written, read and closed the same
// way, so that the exchanges never ask whether it is a serial port or a USB device. The
// session turns the port name into a link in one place (LinkNamed) and keeps the
// serial and the USB link for its whole life: a port left open by an exchange stays
// with its link when the operator names another port.

#include "link/link_error.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace session {

// What the log and the silence box say of a device that did not answer.
inline constexpr const char* kDeviceNotFoundText = "Device not found";

// Which kind of port the link is, as the port list names it ("COM1", "USB0").
enum TPortKind : std::uint8_t { pkSerial, pkUsb };

// What a link tells the session it serves: log lines, and how its opens went.
class TLinkReports {
public:
    virtual void Log(const std::string& line) = 0;
    // An open succeeded: an earlier failure no longer explains a silence.
    virtual void LinkOpened() = 0;
    // `portName` did not open for `error`; the session says why where it can.
    virtual void LinkRefused(const std::string& portName, devlink::TLinkError error) = 0;
    // `portName` did not answer a probe: "Device not found", and why.
    virtual void DeviceNotFound(const std::string& portName, devlink::TLinkError error) = 0;

protected:
    ~TLinkReports() = default;
};

// What one write did.
struct TWritten {
    // False when the link carries nothing now and says nothing of it (a closed serial
    // port, or one a USB cutter makes useless).
    bool Carried = false;
    // Bytes taken; below 0 when the link refused them without a count.
    std::int64_t Taken = 0;
    // The device behind the link is gone (hung up, removed).
    bool DeviceGone = false;
};

// Receives input bytes as the link reads them, one chunk at a time.
using TInputSink = std::function<void(const char* bytes, std::size_t count)>;

class TLink {
public:
    virtual ~TLink() = default;

    const std::string& DeviceName() const { return FDeviceName; }
    // Takes effect at the next open: a port still open keeps its device.
    void SetDeviceName(const std::string& name) { FDeviceName = name; }
    virtual TPortKind Kind() const = 0;

    // The operator's check of the port just chosen; what it found goes to the log.
    virtual void Check() = 0;
    // Whether the device answers an open now (a serial port shows it only by opening).
    virtual bool Probe() = 0;
    // Why the last open or probe failed.
    virtual devlink::TLinkError LastError() const = 0;
    // Opens the link unless it is open already; leNone when it is open.
    virtual devlink::TLinkError Open() = 0;
    virtual bool IsOpen() const = 0;
    // Whether a USB cutter attached now makes this link useless: a cutter that answers on
    // USB does not listen on a serial port, so nothing may be cut or written there.
    virtual bool HeldByUsbCutter() = 0;
    virtual TWritten Write(std::string_view bytes) = 0;
    // Hands what has arrived to `sink`. `announced`: the bytes an input event counted (a
    // serial port reads only those); a USB device is asked what it holds.
    virtual void TakeInput(std::uint32_t announced, const TInputSink& sink) = 0;
    // Drops input waiting on an open link; how many bytes were dropped.
    virtual std::size_t DiscardInput() = 0;
    virtual void Close() = 0;

private:
    std::string FDeviceName;
};

} // namespace session
