#include "sim/in_process_serial.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

namespace sim {
namespace {

thread_local std::uint32_t tLastError = link::kErrorSuccess;

std::string UpperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

} // namespace

// The state of one overlapped transfer, kept between its start and its result.
class TInProcessSerial::TRecord : public link::TTransferRecord {
public:
    enum class TState { tsIdle, tsReading, tsWriting };

    TState State = TState::tsIdle;
    std::uint64_t Generation = 0;
    char* ReadBuffer = nullptr;
    std::uint32_t ReadCount = 0;
    std::string WriteBytes;
    std::uint32_t PollsLeft = 0;
    link::TIoStatus LastStatus = link::TIoStatus::ioDone;
    std::uint32_t LastTransferred = 0;
    std::uint32_t LastError = link::kErrorSuccess;

    link::TIoStatus End(link::TIoStatus status, std::uint32_t transferred, std::uint32_t error,
                        std::uint32_t& result) {
        State = TState::tsIdle;
        LastStatus = status;
        LastTransferred = result = transferred;
        LastError = error;
        tLastError = error;
        return status;
    }
};

// Waits for replies made readable on the line; see link::TCommEventWaiter.
class TInProcessSerial::TWaiter : public link::TCommEventWaiter {
public:
    TWaiter(TInProcessSerial& serial, link::THandle handle) : FSerial(serial), FHandle(handle) {
        const TInProcessLine::TSnapshot now = serial.Line().Snapshot();
        // Bytes already readable count as one event not yet reported.
        FSeenDeliveries = now.Deliveries - (now.Readable > 0 ? 1 : 0);
    }

    link::TWaitResult Wait(std::uint32_t& eventMask) override {
        const auto stop = [this] { return FCancelled.load() || !FSerial.IsOpenHandle(FHandle); };
        while (true) {
            const auto now = FSerial.Line().WaitForChange(FSeenDeliveries, stop);
            if (FCancelled) {
                return link::TWaitResult::wrCancelled;
            }
            if (!FSerial.IsOpenHandle(FHandle)) {
                return link::TWaitResult::wrHungUp;
            }
            if (now.Deliveries != FSeenDeliveries) {
                FSeenDeliveries = now.Deliveries;
                if ((FSerial.EventMask() & link::kEvRxChar) != 0) {
                    eventMask = link::kEvRxChar;
                    return link::TWaitResult::wrEvent;
                }
            } else if (now.HungUp) {
                return link::TWaitResult::wrHungUp;
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
    link::THandle FHandle;
    std::uint64_t FSeenDeliveries = 0;
    std::atomic<bool> FCancelled{false};
};

TInProcessSerial::TInProcessSerial(TVirtualCutter& cutter, std::string portName, TFaults faults)
    : FLine(cutter, std::move(faults)), FPortName(UpperCase(std::move(portName))) {}

TInProcessSerial::~TInProcessSerial() = default;

bool TInProcessSerial::Check(link::THandle handle) {
    if (handle == link::kInvalidHandle || handle != FOpenHandle) {
        return Fail(kErrorInvalidHandle);
    }
    return true;
}

bool TInProcessSerial::Fail(std::uint32_t error) {
    tLastError = error;
    return false;
}

bool TInProcessSerial::MatchesPortName(const std::string& deviceName) const {
    std::string name = UpperCase(deviceName);
    if (name.starts_with("\\\\.\\")) {
        name.erase(0, 4);
    }
    return name == FPortName;
}

link::THandle TInProcessSerial::CreateFile(const std::string& deviceName) {
    if (!MatchesPortName(deviceName) || FLine.HungUp()) {
        Fail(kErrorFileNotFound);
        return link::kInvalidHandle;
    }
    if (IsOpen()) {
        Fail(kErrorAccessDenied);
        return link::kInvalidHandle;
    }
    FOpenHandle = FNextHandle++;
    tLastError = link::kErrorSuccess;
    return FOpenHandle;
}

bool TInProcessSerial::IsCharacterDevice(link::THandle handle) {
    return Check(handle) && FCharacterDevice;
}

bool TInProcessSerial::CloseHandle(link::THandle handle) {
    if (!Check(handle)) {
        return false;
    }
    FOpenHandle = link::kInvalidHandle;
    ++FReadGeneration;
    ++FWriteGeneration;
    // Whatever the cutter still sends goes nowhere once nobody has the port open.
    FLine.DiscardAll();
    FLine.WakeWaiters();
    return true;
}

std::uint32_t TInProcessSerial::GetLastError() {
    return tLastError;
}

bool TInProcessSerial::SetupComm(link::THandle handle, std::uint32_t inQueue,
                                 std::uint32_t outQueue) {
    if (!Check(handle)) {
        return false;
    }
    FInQueueSize = inQueue;
    FOutQueueSize = outQueue;
    return true;
}

bool TInProcessSerial::GetCommState(link::THandle handle, link::TDcb& dcb) {
    if (!Check(handle)) {
        return false;
    }
    dcb = FDcb;
    return true;
}

bool TInProcessSerial::SetCommState(link::THandle handle, const link::TDcb& dcb) {
    if (!Check(handle)) {
        return false;
    }
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 ||
        dcb.Parity > link::kSpaceParity || dcb.StopBits > link::kTwoStopBits) {
        return Fail(kErrorInvalidParameter);
    }
    FDcb = dcb;
    return true;
}

bool TInProcessSerial::SetCommTimeouts(link::THandle handle, const link::TCommTimeouts& timeouts) {
    if (!Check(handle)) {
        return false;
    }
    FTimeouts = timeouts;
    return true;
}

bool TInProcessSerial::SetCommMask(link::THandle handle, std::uint32_t eventMask) {
    if (!Check(handle)) {
        return false;
    }
    FEventMask = eventMask;
    return true;
}

std::unique_ptr<link::TTransferRecord> TInProcessSerial::CreateTransferRecord() {
    return std::make_unique<TRecord>();
}

link::TIoStatus TInProcessSerial::WriteFile(link::THandle handle, link::TTransferRecord& record,
                                            const char* data, std::uint32_t count,
                                            std::uint32_t& transferred) {
    auto& transfer = static_cast<TRecord&>(record);
    transferred = 0;
    if (!Check(handle)) {
        return link::TIoStatus::ioFailed;
    }
    transfer.State = TRecord::TState::tsWriting;
    transfer.Generation = FWriteGeneration;
    transfer.WriteBytes.assign(data, count);
    transfer.PollsLeft = FWritePolls;
    if (FWritePolls == 0) {
        return FinishWrite(transfer, transferred);
    }
    tLastError = link::kErrorIoPending;
    return link::TIoStatus::ioPending;
}

link::TIoStatus TInProcessSerial::FinishWrite(TRecord& record, std::uint32_t& transferred) {
    if (record.Generation != FWriteGeneration) {
        return record.End(link::TIoStatus::ioFailed, 0, kErrorOperationAborted, transferred);
    }
    if (!FLine.Send(record.WriteBytes)) {
        return record.End(link::TIoStatus::ioFailed, 0, kErrorDeviceGone, transferred);
    }
    const auto count = static_cast<std::uint32_t>(record.WriteBytes.size());
    return record.End(link::TIoStatus::ioDone, count, link::kErrorSuccess, transferred);
}

link::TIoStatus TInProcessSerial::ReadFile(link::THandle handle, link::TTransferRecord& record,
                                           char* buffer, std::uint32_t count,
                                           std::uint32_t& transferred) {
    auto& transfer = static_cast<TRecord&>(record);
    transferred = 0;
    if (!Check(handle)) {
        return link::TIoStatus::ioFailed;
    }
    transfer.State = TRecord::TState::tsReading;
    transfer.Generation = FReadGeneration;
    transfer.ReadBuffer = buffer;
    transfer.ReadCount = count;
    const TInProcessLine::TSnapshot line = FLine.Snapshot();
    if (line.Readable >= count || line.HungUp) {
        return FinishRead(transfer, true, transferred);
    }
    tLastError = link::kErrorIoPending;
    return link::TIoStatus::ioPending;
}

link::TIoStatus TInProcessSerial::FinishRead(TRecord& record, bool timedOut,
                                             std::uint32_t& transferred) {
    if (record.Generation != FReadGeneration) {
        return record.End(link::TIoStatus::ioFailed, 0, kErrorOperationAborted, transferred);
    }
    const TInProcessLine::TSnapshot line = FLine.Snapshot();
    if (line.Readable < record.ReadCount && !timedOut && !line.HungUp) {
        tLastError = link::kErrorIoIncomplete;
        transferred = 0;
        return link::TIoStatus::ioPending;
    }
    if (line.Readable == 0 && line.HungUp && record.ReadCount > 0) {
        return record.End(link::TIoStatus::ioFailed, 0, kErrorDeviceGone, transferred);
    }
    const std::string bytes = FLine.Take(record.ReadCount);
    if (!bytes.empty()) {
        std::memcpy(record.ReadBuffer, bytes.data(), bytes.size());
    }
    return record.End(link::TIoStatus::ioDone, static_cast<std::uint32_t>(bytes.size()),
                      link::kErrorSuccess, transferred);
}

link::TIoStatus TInProcessSerial::GetOverlappedResult(link::THandle handle,
                                                      link::TTransferRecord& record, bool wait,
                                                      std::uint32_t& transferred) {
    auto& transfer = static_cast<TRecord&>(record);
    transferred = 0;
    if (!Check(handle)) {
        return link::TIoStatus::ioFailed;
    }
    switch (transfer.State) {
    case TRecord::TState::tsReading:
        return FinishRead(transfer, wait, transferred);
    case TRecord::TState::tsWriting:
        if (wait || transfer.PollsLeft == 0) {
            return FinishWrite(transfer, transferred);
        }
        --transfer.PollsLeft;
        tLastError = link::kErrorIoIncomplete;
        return link::TIoStatus::ioPending;
    case TRecord::TState::tsIdle:
        break;
    }
    transferred = transfer.LastTransferred;
    tLastError = transfer.LastError;
    return transfer.LastStatus;
}

bool TInProcessSerial::ClearCommError(link::THandle handle, std::uint32_t& errors,
                                      link::TComStat& stat) {
    if (!Check(handle)) {
        return false;
    }
    errors = 0;
    stat = link::TComStat{};
    stat.cbInQue = static_cast<std::uint32_t>(FLine.Readable());
    return true;
}

bool TInProcessSerial::PurgeComm(link::THandle handle, std::uint32_t flags) {
    if (!Check(handle)) {
        return false;
    }
    FPurgeFlagsSeen |= flags;
    if ((flags & link::kPurgeRxAbort) != 0) {
        ++FReadGeneration;
    }
    if ((flags & link::kPurgeTxAbort) != 0) {
        ++FWriteGeneration;
    }
    if ((flags & link::kPurgeRxClear) != 0) {
        FLine.DiscardReadable();
    }
    return true;
}

bool TInProcessSerial::EscapeCommFunction(link::THandle handle, std::uint32_t function) {
    if (!Check(handle)) {
        return false;
    }
    switch (function) {
    case link::kSetDtr:
    case link::kClrDtr:
        FDtr = function == link::kSetDtr;
        return true;
    case link::kSetRts:
    case link::kClrRts:
        FRts = function == link::kSetRts;
        return true;
    case link::kSetBreak:
    case link::kClrBreak:
        FBreak = function == link::kSetBreak;
        return true;
    case link::kSetXon:
    case link::kSetXoff:
        return true;
    default:
        return Fail(kErrorInvalidParameter);
    }
}

bool TInProcessSerial::GetCommModemStatus(link::THandle handle, std::uint32_t& modemStatus) {
    if (!Check(handle)) {
        return false;
    }
    modemStatus = FModemLinesOn ? (link::kMsCtsOn | link::kMsDsrOn) : 0;
    return true;
}

std::unique_ptr<link::TCommEventWaiter> TInProcessSerial::CreateEventWaiter(link::THandle handle) {
    Check(handle);
    return std::make_unique<TWaiter>(*this, handle);
}

void TInProcessSerial::Sleep(std::uint32_t) {
    ++FSleepCalls;
}

} // namespace sim
