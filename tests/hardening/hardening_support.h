// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window beside the in-process virtual cutter, driven tick by tick, with a cable
// that can be pulled and plugged in again: the fault scenarios end with the next exchange
// on a sound cable, through the same window. Also what the process holds (descriptors,
// memory, CPU time), measured from outside the code under test.

#include "app/main_form.h"
#include "link/serial_api.h"
#include "sim/cutter_model.h"
#include "sim/in_process_serial.h"
#include "sim/in_process_usb.h"
#include "sim/reply_plan.h"
#include "tests/support/one_port_sources.h"
#include "tests/support/recording_prompts.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace hardening::test {

using testsupport::kSerialPort;
using testsupport::TRecordingPrompts;

// The serial operations of whichever in-process port was plugged in last (Plug before
// use). A port replaced stays alive, as an event thread may still hold its waiter.
class TReplugSerial : public devlink::TSerialApi {
public:
    TReplugSerial(sim::TVirtualCutter& cutter, std::string portName);
    ~TReplugSerial() override;

    // A new cable to the cutter, with these faults on every reply.
    sim::TInProcessSerial& Plug(const sim::TFaults& faults);
    sim::TInProcessSerial& Current() { return *FPorts.back(); }

    devlink::THandle CreateFile(const std::string& deviceName) override;
    bool IsCharacterDevice(devlink::THandle handle) override;
    bool CloseHandle(devlink::THandle handle) override;
    devlink::TLinkError GetLastError() override;
    bool SetupComm(devlink::THandle handle, std::uint32_t inQueue, std::uint32_t outQueue) override;
    bool GetCommState(devlink::THandle handle, devlink::TDcb& dcb) override;
    bool SetCommState(devlink::THandle handle, const devlink::TDcb& dcb) override;
    bool SetCommTimeouts(devlink::THandle handle, const devlink::TCommTimeouts& timeouts) override;
    bool SetCommMask(devlink::THandle handle, std::uint32_t eventMask) override;
    std::unique_ptr<devlink::TTransferRecord> CreateTransferRecord() override;
    devlink::TIoStatus WriteFile(devlink::THandle handle, devlink::TTransferRecord& record,
                                 const char* data, std::uint32_t count,
                                 std::uint32_t& transferred) override;
    devlink::TIoStatus ReadFile(devlink::THandle handle, devlink::TTransferRecord& record,
                                char* buffer, std::uint32_t count,
                                std::uint32_t& transferred) override;
    devlink::TIoStatus GetOverlappedResult(devlink::THandle handle,
                                           devlink::TTransferRecord& record, bool wait,
                                           std::uint32_t& transferred) override;
    bool ClearCommError(devlink::THandle handle, std::uint32_t& errors,
                        devlink::TComStat& stat) override;
    bool PurgeComm(devlink::THandle handle, std::uint32_t flags) override;
    bool EscapeCommFunction(devlink::THandle handle, std::uint32_t function) override;
    bool GetCommModemStatus(devlink::THandle handle, std::uint32_t& modemStatus) override;
    std::unique_ptr<devlink::TCommEventWaiter> CreateEventWaiter(devlink::THandle handle) override;
    void Sleep(std::uint32_t milliseconds) override;

private:
    sim::TVirtualCutter& FCutter;
    std::string FPortName;
    std::vector<std::unique_ptr<sim::TInProcessSerial>> FPorts;
};

inline constexpr const char* kUsbPort = "USB0";

// The window over a virtual cutter reachable as COM1 or as USB0 (one at a time, as the
// port list text chooses). The window's own timer is stopped: Tick() is the clock.
class TFaultBench {
public:
    explicit TFaultBench(const std::string& portText, const sim::TFaults& faults = {});
    ~TFaultBench();

    app::TMainForm& Form() { return *FForm; }
    bool OnUsb() const { return FOnUsb; }
    sim::TVirtualCutter& Cutter() { return FCutter; }
    sim::TInProcessLine& Line();
    TRecordingPrompts& Prompts() { return FPrompts; }

    // A new cable on the chosen link; the fault of the old one is gone.
    void Replug(const sim::TFaults& faults = {});
    // Pulls the cable of the chosen link while the window may hold it open.
    void Unplug();

    void Tick(int count = 1);
    // Makes up to `count` reply bytes arrive; on the serial link the event thread hands
    // them to the window before this returns.
    void Deliver(std::size_t count);
    void DeliverAll();
    // Ticks until the outstanding query ends (at most `limit` ticks); how many it took.
    int TickUntilIdle(int limit = 400);

    // Whether the chosen link is left open by the window.
    bool LinkOpen();
    std::vector<std::string> Log() const;
    int CountLog(const std::string& line) const;
    int CountLogStartingWith(const std::string& prefix) const;
    std::vector<std::string> PanelTexts() const;

private:
    sim::TVirtualCutter FCutter;
    TReplugSerial FSerial{FCutter, kSerialPort};
    sim::TInProcessUsb FUsb;
    testsupport::TOnePortSources FSources;
    TRecordingPrompts FPrompts;
    std::unique_ptr<app::TMainForm> FForm;
    bool FOnUsb;
    int FLogLinesAtStart = 0;
};

// What this process holds, read from /proc.
std::size_t OpenDescriptorCount();
std::size_t ResidentKib();
// Bytes allocated and not yet freed (the sanitizer's count in a sanitized build).
std::size_t LiveHeapBytes();
std::chrono::nanoseconds ProcessCpuTime();

// The folder of the source tree this test was built from.
std::string SourceDir();

} // namespace hardening::test
