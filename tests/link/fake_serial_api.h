// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A recording TSerialApi for tests of the port component and of its callers. Every call
// is logged; outcomes are scripted. The event waiters it makes are driven from the test:
// events raised, waits made to fail or hang up, Wait and Pause calls counted. All
// members are safe to call from the test and the event thread at once.

#include "link/serial_api.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace devlink::fake {

struct TSerialCall {
    std::string Operation; // the TSerialApi member's name, e.g. "PurgeComm"
    THandle Handle = kInvalidHandle;
    std::uint32_t Value = 0;  // flags, mask, function code, input queue size, wait flag...
    std::uint32_t Value2 = 0; // output queue size of SetupComm
    int Record = -1;          // transfer record id, for the transfer calls
};

struct TIoStep {
    TIoStatus Status = TIoStatus::ioDone;
    std::uint32_t Transferred = 0;
};

// What the fake's event waiters share with the test.
class TFakeWaiterState {
public:
    std::mutex Mutex;
    std::condition_variable Changed;
    std::deque<std::uint32_t> Events;
    std::optional<TWaitResult> Outcome; // when no event is queued; else Wait blocks
    bool Cancelled = false;
    bool PausesSleep = true;
    int Waits = 0;
    std::vector<std::uint32_t> Pauses;
};

class TFakeSerialApi : public TSerialApi {
public:
    TFakeSerialApi();

    // --- Scripting ---
    // The named operation fails from now on, with `error` for GetLastError.
    void Fail(const std::string& operation, TLinkError error = TLinkError::leOther);
    void Succeed(const std::string& operation);
    void SetCharacterDevice(bool isCharacter);
    // The configuration GetCommState reads; SetCommState replaces it as a device would.
    void SetDeviceDcb(const TDcb& dcb);
    // Outcomes of the next calls of "WriteFile", "ReadFile" or "GetOverlappedResult", in
    // order. Without a script: a write completes with all bytes, a read takes what the
    // input queue holds, GetOverlappedResult is done with nothing.
    void ScriptIo(const std::string& operation, std::vector<TIoStep> steps);
    // Bytes waiting in the input queue (reported as cbInQue, served by ReadFile).
    void Receive(const std::string& bytes);
    void SetLineErrors(std::uint32_t errors);
    void SetComStat(const TComStat& stat); // cbInQue is the input queue's size
    void SetModemStatus(std::uint32_t modemStatus);

    // --- The waiter of the last port opened ---
    void RaiseEvents(std::uint32_t eventMask);
    // What a Wait without a raised event returns; nullopt blocks until cancelled. Also
    // applies to waiters made later.
    void SetWaitOutcome(std::optional<TWaitResult> outcome);
    // Pause returns at once (it still records) instead of sleeping.
    void SetPausesSleep(bool sleep);
    std::shared_ptr<TFakeWaiterState> Waiter() const;
    int WaitersMade() const;
    // Blocks until the current waiter has entered Wait `count` times; false on time-out.
    bool AwaitWaits(int count, std::chrono::milliseconds timeout);

    // --- Recording ---
    std::vector<TSerialCall> Calls() const;
    std::size_t CallCount() const;
    int CountOf(const std::string& operation) const;
    std::vector<TSerialCall> CallsOf(const std::string& operation) const;
    std::vector<TDcb> WrittenDcbs() const;
    std::vector<TCommTimeouts> WrittenTimeouts() const;
    std::string WrittenBytes() const;
    std::vector<std::string> OpenedNames() const;
    int RecordsMade() const;
    THandle LastHandle() const;
    bool HandleOpen(THandle handle) const;

    // --- TSerialApi ---
    THandle CreateFile(const std::string& deviceName) override;
    bool IsCharacterDevice(THandle handle) override;
    bool CloseHandle(THandle handle) override;
    TLinkError GetLastError() override;
    bool SetupComm(THandle handle, std::uint32_t inQueue, std::uint32_t outQueue) override;
    bool GetCommState(THandle handle, TDcb& dcb) override;
    bool SetCommState(THandle handle, const TDcb& dcb) override;
    bool SetCommTimeouts(THandle handle, const TCommTimeouts& timeouts) override;
    bool SetCommMask(THandle handle, std::uint32_t eventMask) override;
    std::unique_ptr<TTransferRecord> CreateTransferRecord() override;
    TIoStatus WriteFile(THandle handle, TTransferRecord& record, const char* data,
                        std::uint32_t count, std::uint32_t& transferred) override;
    TIoStatus ReadFile(THandle handle, TTransferRecord& record, char* buffer, std::uint32_t count,
                       std::uint32_t& transferred) override;
    TIoStatus GetOverlappedResult(THandle handle, TTransferRecord& record, bool wait,
                                  std::uint32_t& transferred) override;
    bool ClearCommError(THandle handle, std::uint32_t& errors, TComStat& stat) override;
    bool PurgeComm(THandle handle, std::uint32_t flags) override;
    bool EscapeCommFunction(THandle handle, std::uint32_t function) override;
    bool GetCommModemStatus(THandle handle, std::uint32_t& modemStatus) override;
    std::unique_ptr<TCommEventWaiter> CreateEventWaiter(THandle handle) override;
    void Sleep(std::uint32_t milliseconds) override;

private:
    // Logs the call; false (with the error code set) when the operation is made to fail.
    bool Record(const std::string& operation, THandle handle, std::uint32_t value = 0,
                int record = -1);
    std::optional<TIoStep> NextScripted(const std::string& operation);

    mutable std::mutex FMutex;
    std::vector<TSerialCall> FCalls;
    std::map<std::string, TLinkError> FFailures;
    std::map<std::string, std::deque<TIoStep>> FScripts;
    TLinkError FLastError = TLinkError::leNone;
    bool FCharacterDevice = true;
    THandle FNextHandle = 3;
    std::vector<THandle> FOpenHandles;
    std::vector<std::string> FOpenedNames;
    TDcb FDeviceDcb;
    std::vector<TDcb> FWrittenDcbs;
    std::vector<TCommTimeouts> FWrittenTimeouts;
    std::string FWrittenBytes;
    std::string FInputQueue;
    std::uint32_t FLineErrors = 0;
    TComStat FComStat;
    std::uint32_t FModemStatus = 0;
    int FRecordsMade = 0;
    int FWaitersMade = 0;
    std::optional<TWaitResult> FWaitOutcome;
    bool FPausesSleep = true;
    std::shared_ptr<TFakeWaiterState> FWaiter;
};

} // namespace devlink::fake
