// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/serial_api.h"
#include "sim/cutter_model.h"
#include "sim/in_process_line.h"
#include "sim/reply_plan.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace sim {

// A serial port with the virtual cutter on its other end, for tests of everything above
// the link. One port name opens (exclusively); writes reach the cutter at once; replies
// become readable as the test delivers them through Line(). Overlapped transfers behave
// as the port component counts on: a read for more than is readable stays pending, and
// waiting for it ends it with what is readable then (its time-out elapsing, with no clock).
// It fails as the Linux port does: another name or an unplugged line is not found, a
// second open finds the port busy, a purge or close aborts, a hang-up ends transfers.
class TInProcessSerial : public devlink::TSerialApi {
public:
    // `portName` as the port list shows it ("COM3"); "COM3" in any case opens it.
    TInProcessSerial(TVirtualCutter& cutter, std::string portName, TFaults faults = {});
    ~TInProcessSerial() override;

    TInProcessLine& Line() { return FLine; }

    // Test controls.
    void SetModemLinesOn(bool on) { FModemLinesOn = on; } // DSR and CTS (default on)
    void SetCharacterDevice(bool isChar) { FCharacterDevice = isChar; }
    // Writes stay pending for this many polls before they complete (0: complete at once).
    void SetWritePolls(std::uint32_t polls) { FWritePolls = polls; }
    // A write takes at most this many bytes, as one that timed out; the rest never reaches
    // the cutter (none: every byte is taken).
    void SetWriteLimit(std::optional<std::uint32_t> bytes) { FWriteLimit = bytes; }
    // The adapter is pulled out: every write fails as the driver of a removed device
    // fails it (ENODEV), not as a hung-up line.
    void RemoveAdapter() { FAdapterRemoved = true; }

    // What the host set up, for tests to check.
    bool IsOpen() const { return FOpenHandle != devlink::kInvalidHandle; }
    const devlink::TDcb& Dcb() const { return FDcb; }
    const devlink::TCommTimeouts& Timeouts() const { return FTimeouts; }
    std::uint32_t EventMask() const { return FEventMask; }
    std::uint32_t InQueueSize() const { return FInQueueSize; }
    std::uint32_t OutQueueSize() const { return FOutQueueSize; }
    bool Dtr() const { return FDtr; }
    bool Rts() const { return FRts; }
    bool Break() const { return FBreak; }
    std::uint32_t SleepCalls() const { return FSleepCalls; }
    std::uint32_t PurgeFlagsSeen() const { return FPurgeFlagsSeen; }

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

    // For the event waiter: whether `handle` is still the open one.
    bool IsOpenHandle(devlink::THandle handle) const { return FOpenHandle == handle; }

private:
    class TRecord;
    class TWaiter;

    bool Check(devlink::THandle handle);
    bool Fail(devlink::TLinkError error);
    bool MatchesPortName(const std::string& deviceName) const;
    devlink::TIoStatus FinishWrite(TRecord& record, std::uint32_t& transferred);
    devlink::TIoStatus FinishRead(TRecord& record, bool timedOut, std::uint32_t& transferred);

    TInProcessLine FLine;
    std::string FPortName;
    std::atomic<devlink::THandle> FOpenHandle{devlink::kInvalidHandle};
    devlink::THandle FNextHandle = 0x100;
    std::atomic<std::uint32_t> FEventMask{0};
    bool FModemLinesOn = true;
    bool FCharacterDevice = true;
    std::uint32_t FWritePolls = 0;
    std::optional<std::uint32_t> FWriteLimit;
    bool FAdapterRemoved = false;
    devlink::TDcb FDcb;
    devlink::TCommTimeouts FTimeouts;
    std::uint32_t FInQueueSize = 0;
    std::uint32_t FOutQueueSize = 0;
    bool FDtr = false;
    bool FRts = false;
    bool FBreak = false;
    std::uint32_t FSleepCalls = 0;
    std::uint32_t FPurgeFlagsSeen = 0;
    // Bumped to abort every transfer under way in that direction (purge, close).
    std::uint64_t FReadGeneration = 0;
    std::uint64_t FWriteGeneration = 0;
};

} // namespace sim
