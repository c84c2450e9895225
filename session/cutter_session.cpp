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
    : QObject(parent), Comm1(serial), FUsb(usb), FPortSources(portSources),
      FUsbBuffer(std::make_unique_for_overwrite<char[]>(kUsbBufferSize)) {
    Comm1.SetDeviceName("Com2");
    Comm1.SetMonitorEvents(devlink::kAllCommEvents);
    Timer1.SetInterval(1);
    Timer1.SetEnabled(true);
    Timer1.OnTimer = [this] { Guarded([this] { Timer1Timer(); }); };
    Comm1.OnRxChar = [this](void* sender, std::uint32_t count) {
        Guarded([this, sender, count] { Comm1RxChar(sender, count); });
    };
    DetectWinGeneration();
}

// Handlers first, so nothing reaches a session being torn down; Comm1 closes an open port
// as it is destroyed.
TCutterSession::~TCutterSession() {
    Timer1.OnTimer = nullptr;
    Comm1.OnRxChar = nullptr;
}

// An error never crosses Qt's event loop: it ends the handler and is reported.
void TCutterSession::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        emit HandlerFailed(error.what());
    } catch (...) {
        emit HandlerFailed(std::string());
    }
}

void TCutterSession::NoteOpenFailure(const std::string& portName, const std::string& reason) {
    FOpenFailurePort = portName;
    FOpenFailureReason = reason;
    if (!reason.empty()) {
        Log(reason);
    }
}

void TCutterSession::ForgetOpenFailure() {
    FOpenFailurePort.clear();
    FOpenFailureReason.clear();
}

std::string TCutterSession::SilenceMessageText() {
    std::string text = UsbBlocksComPort() ? kUsbCablePluggedText : kDeviceNotFoundText;
    if (!FOpenFailureReason.empty() && FOpenFailurePort == FPortName) {
        text += '\n' + FOpenFailureReason;
    }
    return text;
}

bool TCutterSession::UsbBlocksComPort() {
    return FPortName.find("COM") != std::string::npos && UsbDevicePresent();
}

} // namespace session
