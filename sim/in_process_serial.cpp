// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/in_process_serial.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

namespace sim {
namespace {

using devlink::TLinkError;

thread_local TLinkError tLastError = TLinkError::leNone;

std::string UpperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

} // namespace

// The state of one transfer that may run on after WriteFile or ReadFile returned, kept
// between its start and its result.
class TInProcessSerial::TRecord : public devlink::TTransferRecord {
public:
    enum class TState { tsIdle, tsReading, tsWriting };

    TState State = TState::tsIdle;
    std::uint64_t Generation = 0;
    char* ReadBuffer = nullptr;
    std::uint32_t ReadCount = 0;
    std::string WriteBytes;
    std::uint32_t PollsLeft = 0;
    devlink::TIoStatus LastStatus = devlink::TIoStatus::ioDone;
    std::uint32_t LastTransferred = 0;
    TLinkError LastError = TLinkError::leNone;

    devlink::TIoStatus End(devlink::TIoStatus status, std::uint32_t transferred, TLinkError error,
                           std::uint32_t& result) {
        State = TState::tsIdle;
        LastStatus = status;
        LastTransferred = result = transferred;
        LastError = error;
        tLastError = error;
        return status;
    }
};

// Waits for replies made readable on the line; see devlink::TCommEventWaiter.
class TInProcessSerial::TWaiter : public devlink::TCommEventWaiter {
public:
    TWaiter(TInProcessSerial& serial, devlink::THandle handle) : FSerial(serial), FHandle(handle) {
        const TInProcessLine::TSnapshot now = serial.Line().Snapshot();
        // Bytes already readable count as one event not yet reported.
        FSeenDeliveries = now.Deliveries - (now.Readable > 0 ? 1 : 0);
    }

    devlink::TWaitResult Wait(std::uint32_t& eventMask) override {
        const auto stop = [this] { return FCancelled.load() || !FSerial.IsOpenHandle(FHandle); };
        while (true) {
            const auto now = FSerial.Line().WaitForChange(FSeenDeliveries, stop);
            if (FCancelled) {
                return devlink::TWaitResult::wrCancelled;
            }
            if (!FSerial.IsOpenHandle(FHandle)) {
                return devlink::TWaitResult::wrHungUp;
            }
            if (now.Deliveries != FSeenDeliveries) {
                FSeenDeliveries = now.Deliveries;
                if ((FSerial.EventMask() & devlink::kEvRxChar) != 0) {
                    eventMask = devlink::kEvRxChar;
                    return devlink::TWaitResult::wrEvent;
                }
            } else if (now.HungUp) {
                return devlink::TWaitResult::wrHungUp;
            }
        }
    }

    bool Pause(std::uint32_t milliseconds) override {
        return FSerial.Line().PauseUnless(milliseconds, [this] { return FCancelled.load(); });
    }

    void Cancel() override {
        FCancelled = true;
        FSerial.Line().WakeWaiters();
    }

private:
    TInProcessSerial& FSerial;
    devlink::THandle FHandle;
    std::uint64_t FSeenDeliveries = 0;
    std::atomic<bool> FCancelled{false};
};

TInProcessSerial::TInProcessSerial(TVirtualCutter& cutter, std::string portName, TFaults faults)
    : FLine(cutter, std::move(faults)), FPortName(UpperCase(std::move(portName))) {}

TInProcessSerial::~TInProcessSerial() = default;

bool TInProcessSerial::Check(devlink::THandle handle) {
    if (handle == devlink::kInvalidHandle || handle != FOpenHandle) {
        return Fail(TLinkError::leOther);
    }
    return true;
}

bool TInProcessSerial::Fail(TLinkError error) {
    tLastError = error;
    return false;
}

bool TInProcessSerial::MatchesPortName(const std::string& deviceName) const {
    return UpperCase(deviceName) == FPortName;
}

devlink::THandle TInProcessSerial::CreateFile(const std::string& deviceName) {
    if (!MatchesPortName(deviceName) || FLine.HungUp()) {
        Fail(TLinkError::leNotFound);
        return devlink::kInvalidHandle;
    }
    if (IsOpen()) {
        Fail(TLinkError::leBusy);
        return devlink::kInvalidHandle;
    }
    FOpenHandle = FNextHandle++;
    tLastError = TLinkError::leNone;
    return FOpenHandle;
}

bool TInProcessSerial::IsCharacterDevice(devlink::THandle handle) {
    return Check(handle) && FCharacterDevice;
}

bool TInProcessSerial::CloseHandle(devlink::THandle handle) {
    if (!Check(handle)) {
        return false;
    }
    FOpenHandle = devlink::kInvalidHandle;
    ++FReadGeneration;
    ++FWriteGeneration;
    // Whatever the cutter still sends goes nowhere once nobody has the port open.
    FLine.DiscardAll();
    FLine.WakeWaiters();
    return true;
}

TLinkError TInProcessSerial::GetLastError() {
    return tLastError;
}

bool TInProcessSerial::SetupComm(devlink::THandle handle, std::uint32_t inQueue,
                                 std::uint32_t outQueue) {
    if (!Check(handle)) {
        return false;
    }
    FInQueueSize = inQueue;
    FOutQueueSize = outQueue;
    return true;
}

bool TInProcessSerial::GetCommState(devlink::THandle handle, devlink::TDcb& dcb) {
    if (!Check(handle)) {
        return false;
    }
    dcb = FDcb;
    return true;
}

bool TInProcessSerial::SetCommState(devlink::THandle handle, const devlink::TDcb& dcb) {
    if (!Check(handle)) {
        return false;
    }
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 ||
        dcb.Parity > devlink::kSpaceParity || dcb.StopBits > devlink::kTwoStopBits) {
        return Fail(TLinkError::leOther);
    }
    FDcb = dcb;
    return true;
}

bool TInProcessSerial::SetCommTimeouts(devlink::THandle handle,
                                       const devlink::TCommTimeouts& timeouts) {
    if (!Check(handle)) {
        return false;
    }
    FTimeouts = timeouts;
    return true;
}

bool TInProcessSerial::SetCommMask(devlink::THandle handle, std::uint32_t eventMask) {
    if (!Check(handle)) {
        return false;
    }
    FEventMask = eventMask;
    return true;
}

std::unique_ptr<devlink::TTransferRecord> TInProcessSerial::CreateTransferRecord() {
    return std::make_unique<TRecord>();
}

devlink::TIoStatus TInProcessSerial::WriteFile(devlink::THandle handle,
                                               devlink::TTransferRecord& record, const char* data,
                                               std::uint32_t count, std::uint32_t& transferred) {
    auto& transfer = static_cast<TRecord&>(record);
    transferred = 0;
    if (!Check(handle)) {
        return devlink::TIoStatus::ioFailed;
    }
    transfer.State = TRecord::TState::tsWriting;
    transfer.Generation = FWriteGeneration;
    transfer.WriteBytes.assign(data, FWriteLimit ? std::min(count, *FWriteLimit) : count);
    transfer.PollsLeft = FWritePolls;
    if (FWritePolls == 0) {
        return FinishWrite(transfer, transferred);
    }
    tLastError = TLinkError::leIoPending;
    return devlink::TIoStatus::ioPending;
}

devlink::TIoStatus TInProcessSerial::FinishWrite(TRecord& record, std::uint32_t& transferred) {
    if (record.Generation != FWriteGeneration) {
        return record.End(devlink::TIoStatus::ioFailed, 0, TLinkError::leAborted, transferred);
    }
    if (FAdapterRemoved) {
        return record.End(devlink::TIoStatus::ioFailed, 0, TLinkError::leNotFound, transferred);
    }
    if (!FLine.Send(record.WriteBytes)) {
        return record.End(devlink::TIoStatus::ioFailed, 0, TLinkError::leHungUp, transferred);
    }
    const auto count = static_cast<std::uint32_t>(record.WriteBytes.size());
    return record.End(devlink::TIoStatus::ioDone, count, TLinkError::leNone, transferred);
}

devlink::TIoStatus TInProcessSerial::ReadFile(devlink::THandle handle,
                                              devlink::TTransferRecord& record, char* buffer,
                                              std::uint32_t count, std::uint32_t& transferred) {
    auto& transfer = static_cast<TRecord&>(record);
    transferred = 0;
    if (!Check(handle)) {
        return devlink::TIoStatus::ioFailed;
    }
    transfer.State = TRecord::TState::tsReading;
    transfer.Generation = FReadGeneration;
    transfer.ReadBuffer = buffer;
    transfer.ReadCount = count;
    const TInProcessLine::TSnapshot line = FLine.Snapshot();
    if (line.Readable >= count || line.HungUp) {
        return FinishRead(transfer, true, transferred);
    }
    tLastError = TLinkError::leIoPending;
    return devlink::TIoStatus::ioPending;
}

devlink::TIoStatus TInProcessSerial::FinishRead(TRecord& record, bool timedOut,
                                                std::uint32_t& transferred) {
    if (record.Generation != FReadGeneration) {
        return record.End(devlink::TIoStatus::ioFailed, 0, TLinkError::leAborted, transferred);
    }
    const TInProcessLine::TSnapshot line = FLine.Snapshot();
    if (line.Readable < record.ReadCount && !timedOut && !line.HungUp) {
        tLastError = TLinkError::leIoIncomplete;
        transferred = 0;
        return devlink::TIoStatus::ioPending;
    }
    if (line.Readable == 0 && line.HungUp && record.ReadCount > 0) {
        return record.End(devlink::TIoStatus::ioFailed, 0, TLinkError::leHungUp, transferred);
    }
    const std::string bytes = FLine.Take(record.ReadCount);
    if (!bytes.empty()) {
        std::memcpy(record.ReadBuffer, bytes.data(), bytes.size());
    }
    return record.End(devlink::TIoStatus::ioDone, static_cast<std::uint32_t>(bytes.size()),
                      TLinkError::leNone, transferred);
}

devlink::TIoStatus TInProcessSerial::GetOverlappedResult(devlink::THandle handle,
                                                         devlink::TTransferRecord& record,
                                                         bool wait, std::uint32_t& transferred) {
    auto& transfer = static_cast<TRecord&>(record);
    transferred = 0;
    if (!Check(handle)) {
        return devlink::TIoStatus::ioFailed;
    }
    switch (transfer.State) {
    case TRecord::TState::tsReading:
        return FinishRead(transfer, wait, transferred);
    case TRecord::TState::tsWriting:
        if (wait || transfer.PollsLeft == 0) {
            return FinishWrite(transfer, transferred);
        }
        --transfer.PollsLeft;
        tLastError = TLinkError::leIoIncomplete;
        return devlink::TIoStatus::ioPending;
    case TRecord::TState::tsIdle:
        break;
    }
    transferred = transfer.LastTransferred;
    tLastError = transfer.LastError;
    return transfer.LastStatus;
}

bool TInProcessSerial::ClearCommError(devlink::THandle handle, std::uint32_t& errors,
                                      devlink::TComStat& stat) {
    if (!Check(handle)) {
        return false;
    }
    errors = 0;
    stat = devlink::TComStat{};
    stat.cbInQue = static_cast<std::uint32_t>(FLine.Readable());
    return true;
}

bool TInProcessSerial::PurgeComm(devlink::THandle handle, std::uint32_t flags) {
    if (!Check(handle)) {
        return false;
    }
    FPurgeFlagsSeen |= flags;
    if ((flags & devlink::kPurgeRxAbort) != 0) {
        ++FReadGeneration;
    }
    if ((flags & devlink::kPurgeTxAbort) != 0) {
        ++FWriteGeneration;
    }
    if ((flags & devlink::kPurgeRxClear) != 0) {
        FLine.DiscardReadable();
    }
    return true;
}

bool TInProcessSerial::EscapeCommFunction(devlink::THandle handle, std::uint32_t function) {
    if (!Check(handle)) {
        return false;
    }
    switch (function) {
    case devlink::kSetDtr:
    case devlink::kClrDtr:
        FDtr = function == devlink::kSetDtr;
        return true;
    case devlink::kSetRts:
    case devlink::kClrRts:
        FRts = function == devlink::kSetRts;
        return true;
    case devlink::kSetBreak:
    case devlink::kClrBreak:
        FBreak = function == devlink::kSetBreak;
        return true;
    case devlink::kSetXon:
    case devlink::kSetXoff:
        return true;
    default:
        return Fail(TLinkError::leOther);
    }
}

bool TInProcessSerial::GetCommModemStatus(devlink::THandle handle, std::uint32_t& modemStatus) {
    if (!Check(handle)) {
        return false;
    }
    modemStatus = FModemLinesOn ? (devlink::kMsCtsOn | devlink::kMsDsrOn) : 0;
    return true;
}

std::unique_ptr<devlink::TCommEventWaiter>
TInProcessSerial::CreateEventWaiter(devlink::THandle handle) {
    Check(handle);
    return std::make_unique<TWaiter>(*this, handle);
}

void TInProcessSerial::Sleep(std::uint32_t) {
    ++FSleepCalls;
}

} // namespace sim
