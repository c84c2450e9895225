// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/serial_api.h"
#include "sim/cutter_model.h"
#include "sim/in_process_serial.h"
#include "sim/reply_plan.h"

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

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

} // namespace testsupport
