#pragma once

// The main window beside the in-process virtual cutter, driven tick by tick: the window's
// own timer is stopped and the test calls Timer1Timer() itself; reply bytes arrive only
// when the test delivers them. Message boxes are recorded, and a test can run ticks and
// serial events while one is "open", as the event loop does under a real modal box.

#include "app/main_form.h"
#include "sim/cutter_model.h"
#include "sim/in_process_serial.h"
#include "sim/in_process_usb.h"
#include "sim/reply_plan.h"
#include "tests/link/fake_serial_api.h"
#include "tests/support/main_window_probe.h"
#include "tests/support/one_port_sources.h"
#include "tests/support/recording_prompts.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace app::polltest {

using testsupport::kSerialPort;
using testsupport::TRecordingPrompts;

inline constexpr const char* kUsbPort = "USB0";

struct TBench {
    sim::TCutterConfig Cutter;
    sim::TFaults Faults;
    bool UsbCutterPlugged = false; // a cutter on USB0 as well as on COM1
    std::string PortText = kSerialPort;
    // COM1 is the link's scripted fake instead of the cutter: bytes arrive as the test
    // writes them (ArriveOnSerial), so a reply no cutter would send can be tried.
    bool ScriptedSerial = false;
};

// The window over a virtual cutter on COM1 (and on USB0 when asked).
class TPollTest : public ::testing::Test {
protected:
    ~TPollTest() override;

    TMainForm& Build(const TBench& bench = {});
    TMainForm& Form() { return *FForm; }

    // Runs the tick handler `count` times.
    void Tick(int count = 1);
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

    // The log lines added since the window was built.
    std::vector<std::string> Log() const;
    int CountLog(const std::string& line) const;
    int CountLogStartingWith(const std::string& prefix) const;
    // The log from the last line that starts with `prefix` on, blank lines left out (a
    // carriage return in a reply ends a line of the memo).
    std::vector<std::string> LogFromLast(const std::string& prefix) const;
    // Commands the cutter received on the chosen link, as its transcript shows them
    // ("OH;", "<ESC>.R1:").
    std::vector<std::string> CutterCommands();
    bool SerialPortOpen() const { return FForm->Comm1.Enabled(); }
    std::size_t OpenUsbHandles() const { return FUsb.OpenHandleCount(); }

    sim::TInProcessLine& ChosenLine();
    sim::TVirtualCutter& Cutter() { return *FCutter; }

    TRecordingPrompts Prompts;

private:
    std::unique_ptr<sim::TVirtualCutter> FCutter;
    std::unique_ptr<sim::TInProcessSerial> FCutterSerial;
    devlink::fake::TFakeSerialApi FScriptedSerial;
    sim::TInProcessUsb FUsb;
    testsupport::TOnePortSources FSources;
    std::unique_ptr<TMainForm> FForm;
    bool FUsbChosen = false;
};

using testsupport::PanelTexts;

} // namespace app::polltest
