// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/serial_link.h"

#include <algorithm>
#include <exception>

namespace session {

namespace {

constexpr int kSerialReadBufferSize = 5000;

// Modem line selectors of GetModemState, in the order they are asked.
constexpr int kModemLines[] = {2 /* DSR */, 1 /* CTS */, 3 /* RING */, 4 /* RLSD */};

// A write that failed for one of these found no device behind the open port.
bool LinkGoneError(devlink::TLinkError error) {
    return error == devlink::TLinkError::leHungUp || error == devlink::TLinkError::leNotFound;
}

} // namespace

TSerialLink::TSerialLink(devlink::TSerialApi& serial, TLinkReports& reports,
                         std::function<void(std::uint32_t count)> onInput,
                         std::function<bool()> usbCutterAttached)
    : FReports(reports), FUsbCutterAttached(std::move(usbCutterAttached)), Comm1(serial) {
    Comm1.SetDeviceName("Com2");
    Comm1.SetMonitorEvents(devlink::kAllCommEvents);
    Comm1.OnRxChar = [onInput = std::move(onInput)](void* /*sender*/, std::uint32_t count) {
        onInput(count);
    };
}

// Nothing reaches a session being torn down; Comm1 closes an open port as it goes.
TSerialLink::~TSerialLink() {
    Comm1.OnRxChar = nullptr;
}

// Opens the port, looks for a modem line and closes it again. A port still open from an
// exchange keeps its device: the new name takes effect at the next open.
void TSerialLink::Check() {
    const std::string& text = DeviceName();
    Comm1.SetDeviceName(text);
    try {
        Comm1.Open();
    } catch (const std::exception&) {
        FReports.Log(text + " can't Open");
    }
    if (Comm1.Enabled()) {
        FReports.Log(ModemLinesActive() ? text + " Check OK" : kDeviceNotFoundText);
        Comm1.Close();
        return;
    }
    FReports.Log(text + " Check Fail");
    FReports.LinkRefused(text, Comm1.LastError());
}

bool TSerialLink::ModemLinesActive() {
    return std::any_of(std::begin(kModemLines), std::end(kModemLines),
                       [this](int line) { return Comm1.GetModemState(line); });
}

devlink::TLinkError TSerialLink::Open() {
    const std::string& text = DeviceName();
    Comm1.SetDeviceName(text);
    if (Comm1.Enabled()) {
        FReports.Log("Port has already been opened!");
        return devlink::TLinkError::leNone;
    }
    Comm1.Open();
    const devlink::TLinkError openError = Comm1.LastError();
    Comm1.SetRTSState(true);
    Comm1.SetDTRState(true);
    if (Comm1.Enabled()) {
        FReports.LinkOpened();
        FReports.Log(text + " Check OK");
        return devlink::TLinkError::leNone;
    }
    FReports.LinkRefused(text, openError);
    return openError == devlink::TLinkError::leNone ? devlink::TLinkError::leOther : openError;
}

TWritten TSerialLink::Write(std::string_view bytes) {
    if (HeldByUsbCutter() || !Comm1.Enabled()) {
        return {};
    }
    const auto count = static_cast<std::uint32_t>(bytes.size());
    const std::int64_t taken = Comm1.Write(bytes.data(), count);
    return {true, taken, taken < count && LinkGoneError(Comm1.LastError())};
}

// An event counted bytes that a purge has since dropped: reading them would wait for the
// read deadline on the session's thread.
void TSerialLink::TakeInput(std::uint32_t announced, const TInputSink& sink) {
    if (announced == 0) {
        return;
    }
    char buffer[kSerialReadBufferSize];
    std::uint32_t count = std::min<std::uint32_t>(
        announced, static_cast<std::uint32_t>(std::max(Comm1.InQueCount(), 0)));
    while (count > 0) {
        const std::uint32_t wanted = std::min<std::uint32_t>(count, sizeof buffer);
        const int read = Comm1.Read(buffer, wanted);
        if (read < 1) {
            return;
        }
        const auto received = std::min<std::uint32_t>(static_cast<std::uint32_t>(read), wanted);
        sink(buffer, received);
        // A short read means the read deadline passed: asking again would only wait once more.
        if (received < wanted) {
            return;
        }
        count -= received;
    }
}

std::size_t TSerialLink::DiscardInput() {
    if (!Comm1.Enabled()) {
        return 0;
    }
    const int waiting = Comm1.InQueCount();
    Comm1.PurgeIn();
    return static_cast<std::size_t>(std::max(waiting, 0));
}

void TSerialLink::Close() {
    if (!Comm1.Enabled()) {
        FReports.Log("Port has not been opened!");
        return;
    }
    Comm1.Close();
    if (!Comm1.Enabled()) {
        FReports.Log("Close " + DeviceName() + " OK");
    }
}

} // namespace session
