// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The link over a serial port: the port component opened around each exchange, with RTS
// and DTR raised, its input read when its event counts bytes. A USB cutter attached
// makes it carry nothing: that cutter does not listen on a serial port.

#include "link/comm.h"
#include "link/serial_api.h"
#include "session/link.h"

#include <functional>

namespace session {

class TSerialLink final : public TLink {
public:
    // `onInput` runs when the port's event counts arrived bytes; `usbCutterAttached`
    // says whether a USB cutter answers now.
    TSerialLink(devlink::TSerialApi& serial, TLinkReports& reports,
                std::function<void(std::uint32_t count)> onInput,
                std::function<bool()> usbCutterAttached);
    ~TSerialLink() override;
    TSerialLink(const TSerialLink&) = delete;
    TSerialLink& operator=(const TSerialLink&) = delete;

    TPortKind Kind() const override { return pkSerial; }
    void Check() override;
    bool Probe() override { return true; }
    devlink::TLinkError LastError() const override { return Comm1.LastError(); }
    devlink::TLinkError Open() override;
    bool IsOpen() const override { return Comm1.Enabled(); }
    bool HeldByUsbCutter() override { return FUsbCutterAttached(); }
    TWritten Write(std::string_view bytes) override;
    void TakeInput(std::uint32_t announced, const TInputSink& sink) override;
    std::size_t DiscardInput() override;
    void Close() override;

    devlink::TComm& Comm() { return Comm1; }

private:
    bool ModemLinesActive();

    TLinkReports& FReports;
    std::function<bool()> FUsbCutterAttached;
    // Comm1: the serial port component, here over Linux termios.
    devlink::TComm Comm1;
};

} // namespace session
