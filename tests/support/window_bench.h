// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window beside the in-process virtual cutter, driven tick by tick: the session's
// own timer is stopped and the test calls Timer1Timer() itself; reply bytes arrive only
// when the test delivers them. Or the window over the scripted fakes alone, for what no
// cutter does. Message boxes are recorded, and a test can run ticks and serial events
// while one is "open", as the event loop does under a real modal box.

#include "app/main_form.h"
#include "sim/cutter_model.h"
#include "sim/in_process_serial.h"
#include "sim/in_process_usb.h"
#include "sim/reply_plan.h"
#include "tests/link/fake_serial_api.h"
#include "tests/support/main_window_probe.h"
#include "tests/support/platform_fakes.h"
#include "tests/support/recording_prompts.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

inline constexpr const char* kUsbPort = "USB0";

class TCutterCable;

// Whether a port list text chooses the USB link.
inline bool NamesUsbPort(const std::string& portText) {
    return portText.find("USB") != std::string::npos;
}

// What the window is built over by Build().
struct TBench {
    sim::TCutterConfig Cutter;
    // On every reply of the chosen link (and of the USB device, plugged or not).
    sim::TFaults Faults;
    bool UsbCutterPlugged = false; // a cutter on USB0 as well as on COM1
    std::string PortText = kSerialPort;
    // COM1 is the scripted serial fake instead of the cutter: bytes arrive as the test
    // writes them (ArriveOnSerial), so a reply no cutter would send can be tried.
    bool ScriptedSerial = false;
};

// The cutter on the link `portText` names (attached to USB0 for a USB entry), its replies
// spoiled by `faults`.
TBench OnLink(const std::string& portText, sim::TFaults faults = {});
// The faults of a cutter that answers nothing.
sim::TFaults SilentCutter();

class TWindowBench {
public:
    TWindowBench();
    virtual ~TWindowBench();
    TWindowBench(const TWindowBench&) = delete;
    TWindowBench& operator=(const TWindowBench&) = delete;

    // The window over a virtual cutter on COM1 (and on USB0 when asked), its timer stopped.
    // A test may build several benches in turn.
    app::TMainForm& Build(const TBench& bench = {});
    // The window over the scripted fakes (Serial, Usb, Sources) set up before, its own
    // timer left as the window starts it.
    app::TMainForm& BuildOverFakes();
    // The window over platform operations the test owns; they must outlive the bench's
    // window (Close() ends it early). Its timer is stopped.
    app::TMainForm& BuildOver(devlink::TSerialApi& serial, devlink::TUsbApi& usb,
                              devlink::TPortSources& sources);
    void Close();
    app::TMainForm& Form() { return *FForm; }
    session::TCutterSession& Session() { return FForm->Session(); }

    // Runs the tick handler `count` times; after each tick what the session reported
    // queued (its boxes) reaches the window, as the event loop delivers it.
    void Tick(int count = 1);
    // Ticks until the outstanding query ends (at most `limit` ticks); how many it took.
    int TickUntilIdle(int limit = 400);
    // Makes up to `count` bytes of what the cutter answered arrive on the link the port
    // list names; on the serial link the event thread then hands them to the window.
    void Deliver(std::size_t count);
    void DeliverAll();
    // The bytes the cutter answered and that have not yet arrived.
    std::size_t PendingReplyBytes();
    // Scripted serial link only: these exact bytes arrive and the event thread hands them
    // to the window.
    void ArriveOnSerial(const std::string& bytes);
    // Scripted serial link only: bytes no query asked for reach the driver's input queue;
    // announced, the event thread hands them to the window and the test waits until it
    // has read them, else they stay in the queue.
    void ArriveUnasked(const std::string& bytes, bool announced);

    // Chooses an entry as the operator would.
    void ChoosePort(const std::string& text);
    // Only replaces the port list's text.
    void SetPortText(const std::string& text);
    QStringList PortItems() const;

    // A new cable on the chosen link; the fault of the old one is gone.
    void Replug(const sim::TFaults& faults = {});
    // Pulls the cable of the chosen link while the window may hold it open.
    void Unplug();
    // Attaches (or removes) the virtual cutter on USB0.
    void SetUsbCutterPlugged(bool plugged);

    // The log lines added since the window was built.
    std::vector<std::string> Log() const;
    int CountLog(const std::string& line) const;
    int CountLogStartingWith(const std::string& prefix) const;
    // The log from the last line that starts with `prefix` on, blank lines left out (a
    // carriage return in a reply ends a line of the memo).
    std::vector<std::string> LogFromLast(const std::string& prefix) const;
    std::vector<std::string> PanelTexts() const;

    // Commands the cutter received on the chosen link, as its transcript shows them
    // ("OH;", "<ESC>.R1:").
    std::vector<std::string> CutterCommands();
    // Every byte the host wrote to the cutter's serial cables since the last Forget.
    std::string SerialWritten() const;
    void ForgetSerialWritten();

    // Whether the chosen link is left open by the window.
    bool LinkOpen();
    bool SerialPortOpen() const { return FForm->Session().Comm1.Enabled(); }
    std::size_t OpenUsbHandles() const { return FCutterUsb->OpenHandleCount(); }
    sim::TInProcessLine& Line();
    sim::TVirtualCutter& Cutter() { return *FCutter; }

    // The scripted fakes: COM1 for ScriptedSerial benches, all three for BuildOverFakes.
    devlink::fake::TFakeSerialApi Serial;
    TFakeUsbApi Usb;
    TFakePortSources Sources;
    TRecordingPrompts Prompts;

private:
    app::TMainForm& Show(devlink::TSerialApi& serial, devlink::TUsbApi& usb,
                         devlink::TPortSources& sources);

    std::unique_ptr<sim::TVirtualCutter> FCutter;
    std::unique_ptr<TCutterCable> FCable;
    std::unique_ptr<sim::TInProcessUsb> FCutterUsb;
    std::unique_ptr<app::TMainForm> FForm;
    bool FUsbChosen = false;
};

// The bench as a test fixture.
class TWindowTest : public ::testing::Test, public TWindowBench {};

} // namespace testsupport
