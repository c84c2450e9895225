// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A cutter session beside the in-process virtual cutter, driven tick by tick: the session's
// own timer is stopped and the test calls Tick() itself; reply bytes arrive only when the
// test delivers them. Or the session over the scripted fakes alone, for what no cutter
// does. What the session reports by its signals is recorded. It needs Qt Core only; the
// window bench is this bench with the window built over the session.

#include "session/cutter_session.h"
#include "sim/cutter_model.h"
#include "sim/in_process_serial.h"
#include "sim/in_process_usb.h"
#include "sim/reply_plan.h"
#include "tests/link/fake_serial_api.h"
#include "tests/support/platform_fakes.h"
#include "tests/support/session_test_view.h"

#include <gtest/gtest.h>

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

// What the session is built over by Build().
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

// COM1 as the scripted serial fake, where bytes arrive as the test writes them.
inline TBench ScriptedComPort() {
    TBench bench;
    bench.ScriptedSerial = true;
    return bench;
}

// An entry of the serial device map for `port`, at /dev/<port>.
inline devlink::TSerialCommValue MapValue(const std::string& port) {
    return {"\\Device\\" + port, port, "/dev/" + port};
}

int CountLines(const std::vector<std::string>& lines, const std::string& line);
int CountLinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix);

class TSessionBench {
public:
    TSessionBench();
    virtual ~TSessionBench();
    TSessionBench(const TSessionBench&) = delete;
    TSessionBench& operator=(const TSessionBench&) = delete;

    // The session over a virtual cutter on COM1 (and on USB0 when asked), its timer
    // stopped. A test may build several benches in turn.
    session::TCutterSession& Build(const TBench& bench = {});
    // The session over the scripted fakes (Serial, Usb, Sources) set up before, its own
    // timer left running.
    session::TCutterSession& BuildOverFakes();
    // The session over platform operations the test owns; they must outlive the session
    // (Close() ends it early). Its timer is stopped.
    session::TCutterSession& BuildOver(devlink::TSerialApi& serial, devlink::TUsbApi& usb,
                                       devlink::TPortSources& sources);
    virtual void Close();
    session::TCutterSession& Session() { return *FSession; }
    // The one look inside the session tests are given.
    TSessionTestView View() { return TSessionTestView(*FSession); }

    // Runs the tick handler `count` times; after each tick what the session reported
    // queued reaches its receivers, as the event loop delivers it.
    void Tick(int count = 1);
    // Ticks until the outstanding query ends (at most `limit` ticks); how many it took.
    int TickUntilIdle(int limit = 400);
    // Gives the session its own timer back, counting each tick delivered; returns once
    // the idle session has parked it.
    void StartTicking();
    bool Parked() { return !testsupport::TSessionTestView((*FSession)).Timer1().Enabled(); }
    int TicksDelivered() const { return FTicksDelivered; }
    // Makes up to `count` bytes of what the cutter answered arrive on the link the port
    // name names; on the serial link the event thread then hands them to the session.
    void Deliver(std::size_t count);
    void DeliverAll();
    // The bytes the cutter answered and that have not yet arrived.
    std::size_t PendingReplyBytes();
    // Scripted serial link only: these exact bytes arrive and the event thread hands them
    // to the session.
    void ArriveOnSerial(const std::string& bytes);
    // Scripted serial link only: bytes no query asked for reach the driver's input queue;
    // announced, the event thread hands them to the session and the test waits until it
    // has read them, else they stay in the queue.
    void ArriveUnasked(const std::string& bytes, bool announced);

    // Chooses a port as the operator would.
    void ChoosePort(const std::string& text);
    // Only names the port, without a check.
    void SetPortText(const std::string& text) { NamePort(text); }

    // A new cable on the chosen link; the fault of the old one is gone.
    void Replug(const sim::TFaults& faults = {});
    // Pulls the cable of the chosen link while the session may hold it open; with
    // `adapterGone` a serial adapter goes with it, and writes fail as on a removed device.
    void Unplug(bool adapterGone = false);
    // The chosen link takes none of the host's bytes (true) or all again: a serial write
    // completes having written nothing, a USB send fails.
    void LoseWrites(bool lost);
    // Attaches (or removes) the virtual cutter on USB0.
    void SetUsbCutterPlugged(bool plugged);

    // The log lines since the session was built.
    virtual std::vector<std::string> Log() const { return Logged; }
    int CountLog(const std::string& line) const;
    int CountLogStartingWith(const std::string& prefix) const;
    // The log from the last line that starts with `prefix` on, blank lines left out (a
    // carriage return in a reply ends a line of the log).
    std::vector<std::string> LogFromLast(const std::string& prefix) const;

    // Commands the cutter received on the chosen link, as its transcript shows them
    // ("OH;", "<ESC>.R1:").
    std::vector<std::string> CutterCommands();
    // Every byte the host wrote to the cutter's serial cables since the last Forget.
    std::string SerialWritten() const;
    void ForgetSerialWritten();

    // Whether the chosen link is left open by the session.
    bool LinkOpen();
    bool SerialPortOpen() const {
        return testsupport::TSessionTestView((*FSession)).Comm1().Enabled();
    }
    std::size_t OpenUsbHandles() const;
    sim::TInProcessLine& Line();
    sim::TVirtualCutter& Cutter() { return *FCutter; }

    // The scripted fakes: COM1 for ScriptedSerial benches, all three for BuildOverFakes.
    devlink::fake::TFakeSerialApi Serial;
    TFakeUsbApi Usb;
    TFakePortSources Sources;

    // What the session reported since it was built (its log lines when no window keeps
    // them).
    std::vector<std::string> Logged;
    std::vector<std::string> Silences; // the silence texts of queries that went unanswered
    std::vector<std::string> Refusals; // why replies were refused
    std::vector<std::string> HandlerFailures;
    std::vector<std::string> PortsLost; // under the shell's rule
    std::vector<bool> ScaleEndings;     // each scale query: decoded whole or not
    int UsbGuardRefusals = 0;
    int MonitorStops = 0;
    // Everything the operator would be told in a box: silences, refusals, failures, and
    // the guard's text for each command it refused.
    std::vector<std::string> Reported() const;

protected:
    // The session over these links; the window bench builds the window that owns it.
    virtual session::TCutterSession& Open(devlink::TSerialApi& serial, devlink::TUsbApi& usb,
                                          devlink::TPortSources& sources);
    // Where the port name is entered, and what runs the operator's check of it.
    virtual void NamePort(const std::string& text) { FSession->SetPortName(text); }
    virtual void CheckPort(const std::string& text) { FSession->SelectPort(text); }

private:
    session::TCutterSession& Start(devlink::TSerialApi& serial, devlink::TUsbApi& usb,
                                   devlink::TPortSources& sources);
    void Record();
    void RecordFailure(const session::TOutcome& failure);
    void AwaitReplyText(std::size_t size);

    std::unique_ptr<sim::TVirtualCutter> FCutter;
    std::unique_ptr<TCutterCable> FCable;
    std::unique_ptr<sim::TInProcessUsb> FCutterUsb;
    std::unique_ptr<session::TCutterSession> FOwnSession;
    session::TCutterSession* FSession = nullptr;
    bool FUsbChosen = false;
    int FTicksDelivered = 0;
};

// The bench as a test fixture. A program without widgets links tessaro_core_application
// for its one application object.
class TSessionTest : public ::testing::Test, public TSessionBench {};

} // namespace testsupport
