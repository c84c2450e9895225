// SPDX-License-Identifier: GPL-3.0-or-later
// Construction of the session, its guard around the handlers the toolkit calls, and what
// it keeps of a link that did not open.

#include "session/cutter_session.h"

#include <exception>

namespace session {

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code < 0x80) {
            text += byte;
        } else {
            text += static_cast<char>(0xC0 | (code >> 6));
            text += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return text;
}

TCutterSession::TCutterSession(devlink::TSerialApi& serial, devlink::TUsbApi& usb,
                               devlink::TPortSources& portSources, QObject* parent)
    : QObject(parent), FUsbLink(usb, *this),
      FSerialLink(
          serial, *this,
          [this](std::uint32_t count) { Guarded([this, count] { SerialInputArrived(count); }); },
          [this] { return FUsbLink.AnyDeviceAttached(); }),
      FUsb(usb), FPortSources(portSources) {
    Timer1.SetInterval(1);
    Timer1.SetEnabled(true);
    Timer1.OnTimer = [this] { Guarded([this] { Timer1Timer(); }); };
    DetectWinGeneration();
}

// Handlers first, so nothing reaches a session being torn down; the serial link closes an
// open port as it is destroyed.
TCutterSession::~TCutterSession() {
    Timer1.OnTimer = nullptr;
    FSerialLink.Comm().OnRxChar = nullptr;
}

// The one place a port name becomes a link: a name with COM in it is a serial port, one
// with USB in it a USB device; any other names no link.
TLink* TCutterSession::LinkNamed(const std::string& portName) {
    if (portName.find("COM") != std::string::npos) {
        return &FSerialLink;
    }
    if (portName.find("USB") != std::string::npos) {
        return &FUsbLink;
    }
    return nullptr;
}

// Both links carry the name: the one not chosen is only ever closed, and says so under
// the name the operator chose.
void TCutterSession::SetPortName(const std::string& portName) {
    FPortName = portName;
    FSerialLink.SetDeviceName(portName);
    FUsbLink.SetDeviceName(portName);
    FChosenLink = LinkNamed(portName);
}

// An error never crosses Qt's event loop: it ends the handler and is reported.
void TCutterSession::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        emit Failed({okHandlerFailed, error.what()});
    } catch (...) {
        emit Failed({okHandlerFailed, std::string()});
    }
}

void TCutterSession::NoteOpenFailure(const std::string& portName, const std::string& reason) {
    FOpenFailurePort = portName;
    FOpenFailureReason = reason;
    if (!reason.empty()) {
        Log(reason);
    }
}

void TCutterSession::LinkOpened() {
    FOpenFailurePort.clear();
    FOpenFailureReason.clear();
}

void TCutterSession::DeviceNotFound(const std::string& portName, devlink::TLinkError error) {
    Log(kDeviceNotFoundText);
    LinkRefused(portName, error);
}

std::string TCutterSession::SilenceMessageText() {
    std::string text = UsbBlocksComPort() ? kUsbCablePluggedText : kDeviceNotFoundText;
    if (!FOpenFailureReason.empty() && FOpenFailurePort == FPortName) {
        text += '\n' + FOpenFailureReason;
    }
    return text;
}

bool TCutterSession::UsbBlocksComPort() {
    return FChosenLink != nullptr && FChosenLink->HeldByUsbCutter();
}

} // namespace session
