// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "session/cutter_session.h"
#include "sim/cutter_model.h"
#include "sim/in_process_serial.h"
#include "sim/in_process_usb.h"

#include <string>
#include <vector>

namespace testsupport {

// A system with no port to list: the session is given its port name.
class TNoPortSources : public devlink::TPortSources {
public:
    bool GetVersionEx(devlink::TOsVersionInfo& /*info*/) override { return false; }
    bool EnumPorts(std::vector<std::string>& /*portNames*/) override { return false; }
    bool ReadSerialCommMap(std::vector<devlink::TSerialCommValue>& /*values*/) override {
        return false;
    }
    std::string DevicePathOf(const std::string& /*portName*/) override { return {}; }
    std::string DeviceGroupOf(const std::string& /*portName*/) override { return {}; }
};

// A cutter session on COM1 with the in-process virtual cutter at the other end, no USB
// device, and a QCoreApplication (made if the program has none). The test is the clock
// until RunOnItsOwn().
class TSessionBench {
public:
    TSessionBench();

    void Tick(int count);
    // The cutter's answer is delivered and read, and the 11th tick with data decodes it.
    void Answer();
    // The session's own timer runs and replies arrive as soon as the cutter makes them.
    void RunOnItsOwn();
    // The commands the cutter received, as its transcript shows them.
    std::vector<std::string> Commands();

    sim::TVirtualCutter Cutter;
    sim::TInProcessSerial Serial{Cutter, "COM1"};
    sim::TInProcessUsb Usb;
    TNoPortSources Sources;
    session::TCutterSession Session{Serial, Usb, Sources};
};

} // namespace testsupport
