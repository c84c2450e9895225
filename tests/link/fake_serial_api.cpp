// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/link/fake_serial_api.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace devlink::fake {

namespace {

class TFakeTransferRecord : public TTransferRecord {
public:
    explicit TFakeTransferRecord(int id) : Id(id) {}
    const int Id;
};

int RecordId(const TTransferRecord& record) {
    return static_cast<const TFakeTransferRecord&>(record).Id;
}

class TFakeEventWaiter : public TCommEventWaiter {
public:
    explicit TFakeEventWaiter(std::shared_ptr<TFakeWaiterState> state) : FState(std::move(state)) {}

    TWaitResult Wait(std::uint32_t& eventMask) override {
        std::unique_lock lock(FState->Mutex);
        ++FState->Waits;
        FState->Changed.notify_all();
        FState->Changed.wait(lock, [this] {
            return FState->Cancelled || !FState->Events.empty() || FState->Outcome.has_value();
        });
        if (FState->Cancelled) {
            return TWaitResult::wrCancelled;
        }
        if (!FState->Events.empty()) {
            eventMask = FState->Events.front();
            FState->Events.pop_front();
            return TWaitResult::wrEvent;
        }
        return *FState->Outcome;
    }

    bool Pause(std::uint32_t milliseconds) override {
        std::unique_lock lock(FState->Mutex);
        FState->Pauses.push_back(milliseconds);
        if (FState->PausesSleep) {
            FState->Changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                     [this] { return FState->Cancelled; });
        }
        return FState->Cancelled;
    }

    void Cancel() override {
        {
            std::lock_guard lock(FState->Mutex);
            FState->Cancelled = true;
        }
        FState->Changed.notify_all();
    }

private:
    std::shared_ptr<TFakeWaiterState> FState;
};

} // namespace

TFakeSerialApi::TFakeSerialApi() : FWaiter(std::make_shared<TFakeWaiterState>()) {}

// --- Scripting -------------------------------------------------------------------------

void TFakeSerialApi::Fail(const std::string& operation, TLinkError error) {
    std::lock_guard lock(FMutex);
    FFailures[operation] = error;
}

void TFakeSerialApi::Succeed(const std::string& operation) {
    std::lock_guard lock(FMutex);
    FFailures.erase(operation);
}

void TFakeSerialApi::SetCharacterDevice(bool isCharacter) {
    std::lock_guard lock(FMutex);
    FCharacterDevice = isCharacter;
}

void TFakeSerialApi::SetDeviceDcb(const TDcb& dcb) {
    std::lock_guard lock(FMutex);
    FDeviceDcb = dcb;
}

void TFakeSerialApi::ScriptIo(const std::string& operation, std::vector<TIoStep> steps) {
    std::lock_guard lock(FMutex);
    auto& script = FScripts[operation];
    script.insert(script.end(), steps.begin(), steps.end());
}

void TFakeSerialApi::Receive(const std::string& bytes) {
    std::lock_guard lock(FMutex);
    FInputQueue += bytes;
}

void TFakeSerialApi::SetLineErrors(std::uint32_t errors) {
    std::lock_guard lock(FMutex);
    FLineErrors = errors;
}

void TFakeSerialApi::SetComStat(const TComStat& stat) {
    std::lock_guard lock(FMutex);
    FComStat = stat;
}

void TFakeSerialApi::SetModemStatus(std::uint32_t modemStatus) {
    std::lock_guard lock(FMutex);
    FModemStatus = modemStatus;
}

// --- Waiter control --------------------------------------------------------------------

void TFakeSerialApi::RaiseEvents(std::uint32_t eventMask) {
    const auto waiter = Waiter();
    {
        std::lock_guard lock(waiter->Mutex);
        waiter->Events.push_back(eventMask);
    }
    waiter->Changed.notify_all();
}

void TFakeSerialApi::SetWaitOutcome(std::optional<TWaitResult> outcome) {
    const auto waiter = Waiter();
    {
        std::lock_guard lock(FMutex);
        FWaitOutcome = outcome;
    }
    {
        std::lock_guard lock(waiter->Mutex);
        waiter->Outcome = outcome;
    }
    waiter->Changed.notify_all();
}

void TFakeSerialApi::SetPausesSleep(bool sleep) {
    const auto waiter = Waiter();
    {
        std::lock_guard lock(FMutex);
        FPausesSleep = sleep;
    }
    std::lock_guard lock(waiter->Mutex);
    waiter->PausesSleep = sleep;
}

std::shared_ptr<TFakeWaiterState> TFakeSerialApi::Waiter() const {
    std::lock_guard lock(FMutex);
    return FWaiter;
}

int TFakeSerialApi::WaitersMade() const {
    std::lock_guard lock(FMutex);
    return FWaitersMade;
}

bool TFakeSerialApi::AwaitWaits(int count, std::chrono::milliseconds timeout) {
    const auto waiter = Waiter();
    std::unique_lock lock(waiter->Mutex);
    return waiter->Changed.wait_for(lock, timeout, [&] { return waiter->Waits >= count; });
}

// --- Recording -------------------------------------------------------------------------

std::vector<TSerialCall> TFakeSerialApi::Calls() const {
    std::lock_guard lock(FMutex);
    return FCalls;
}

std::size_t TFakeSerialApi::CallCount() const {
    std::lock_guard lock(FMutex);
    return FCalls.size();
}

int TFakeSerialApi::CountOf(const std::string& operation) const {
    return static_cast<int>(CallsOf(operation).size());
}

std::vector<TSerialCall> TFakeSerialApi::CallsOf(const std::string& operation) const {
    std::lock_guard lock(FMutex);
    std::vector<TSerialCall> matching;
    std::copy_if(FCalls.begin(), FCalls.end(), std::back_inserter(matching),
                 [&](const TSerialCall& call) { return call.Operation == operation; });
    return matching;
}

std::vector<TDcb> TFakeSerialApi::WrittenDcbs() const {
    std::lock_guard lock(FMutex);
    return FWrittenDcbs;
}

std::vector<TCommTimeouts> TFakeSerialApi::WrittenTimeouts() const {
    std::lock_guard lock(FMutex);
    return FWrittenTimeouts;
}

std::string TFakeSerialApi::WrittenBytes() const {
    std::lock_guard lock(FMutex);
    return FWrittenBytes;
}

std::vector<std::string> TFakeSerialApi::OpenedNames() const {
    std::lock_guard lock(FMutex);
    return FOpenedNames;
}

int TFakeSerialApi::RecordsMade() const {
    std::lock_guard lock(FMutex);
    return FRecordsMade;
}

THandle TFakeSerialApi::LastHandle() const {
    std::lock_guard lock(FMutex);
    return FNextHandle - 1;
}

bool TFakeSerialApi::HandleOpen(THandle handle) const {
    std::lock_guard lock(FMutex);
    return std::find(FOpenHandles.begin(), FOpenHandles.end(), handle) != FOpenHandles.end();
}

bool TFakeSerialApi::Record(const std::string& operation, THandle handle, std::uint32_t value,
                            int record) {
    FCalls.push_back({operation, handle, value, 0, record});
    const auto failure = FFailures.find(operation);
    if (failure != FFailures.end()) {
        FLastError = failure->second;
        return false;
    }
    return true;
}

std::optional<TIoStep> TFakeSerialApi::NextScripted(const std::string& operation) {
    auto& script = FScripts[operation];
    if (script.empty()) {
        return std::nullopt;
    }
    const TIoStep step = script.front();
    script.pop_front();
    if (step.Status == TIoStatus::ioFailed) {
        FLastError = TLinkError::leOther;
    }
    return step;
}

// --- TSerialApi ------------------------------------------------------------------------

THandle TFakeSerialApi::CreateFile(const std::string& deviceName) {
    std::lock_guard lock(FMutex);
    FOpenedNames.push_back(deviceName);
    if (!Record("CreateFile", kInvalidHandle)) {
        return kInvalidHandle;
    }
    FOpenHandles.push_back(FNextHandle);
    return FNextHandle++;
}

bool TFakeSerialApi::IsCharacterDevice(THandle handle) {
    std::lock_guard lock(FMutex);
    Record("IsCharacterDevice", handle);
    return FCharacterDevice;
}

bool TFakeSerialApi::CloseHandle(THandle handle) {
    std::lock_guard lock(FMutex);
    if (!Record("CloseHandle", handle)) {
        return false;
    }
    std::erase(FOpenHandles, handle);
    return true;
}

TLinkError TFakeSerialApi::GetLastError() {
    std::lock_guard lock(FMutex);
    FCalls.push_back(
        {"GetLastError", kInvalidHandle, static_cast<std::uint32_t>(FLastError), 0, -1});
    return FLastError;
}

bool TFakeSerialApi::SetupComm(THandle handle, std::uint32_t inQueue, std::uint32_t outQueue) {
    std::lock_guard lock(FMutex);
    const bool succeeded = Record("SetupComm", handle, inQueue);
    FCalls.back().Value2 = outQueue;
    return succeeded;
}

bool TFakeSerialApi::GetCommState(THandle handle, TDcb& dcb) {
    std::lock_guard lock(FMutex);
    if (!Record("GetCommState", handle)) {
        return false;
    }
    dcb = FDeviceDcb;
    return true;
}

bool TFakeSerialApi::SetCommState(THandle handle, const TDcb& dcb) {
    std::lock_guard lock(FMutex);
    FWrittenDcbs.push_back(dcb);
    if (!Record("SetCommState", handle)) {
        return false;
    }
    FDeviceDcb = dcb;
    return true;
}

bool TFakeSerialApi::SetCommTimeouts(THandle handle, const TCommTimeouts& timeouts) {
    std::lock_guard lock(FMutex);
    FWrittenTimeouts.push_back(timeouts);
    return Record("SetCommTimeouts", handle);
}

bool TFakeSerialApi::SetCommMask(THandle handle, std::uint32_t eventMask) {
    std::lock_guard lock(FMutex);
    return Record("SetCommMask", handle, eventMask);
}

std::unique_ptr<TTransferRecord> TFakeSerialApi::CreateTransferRecord() {
    std::lock_guard lock(FMutex);
    Record("CreateTransferRecord", kInvalidHandle);
    return std::make_unique<TFakeTransferRecord>(FRecordsMade++);
}

TIoStatus TFakeSerialApi::WriteFile(THandle handle, TTransferRecord& record, const char* data,
                                    std::uint32_t count, std::uint32_t& transferred) {
    std::lock_guard lock(FMutex);
    Record("WriteFile", handle, count, RecordId(record));
    FWrittenBytes.append(data, count);
    const TIoStep step = NextScripted("WriteFile").value_or(TIoStep{TIoStatus::ioDone, count});
    transferred = step.Transferred;
    return step.Status;
}

TIoStatus TFakeSerialApi::ReadFile(THandle handle, TTransferRecord& record, char* buffer,
                                   std::uint32_t count, std::uint32_t& transferred) {
    std::lock_guard lock(FMutex);
    Record("ReadFile", handle, count, RecordId(record));
    if (const auto step = NextScripted("ReadFile")) {
        transferred = step->Transferred;
        return step->Status;
    }
    transferred = std::min<std::uint32_t>(count, static_cast<std::uint32_t>(FInputQueue.size()));
    std::memcpy(buffer, FInputQueue.data(), transferred);
    FInputQueue.erase(0, transferred);
    return TIoStatus::ioDone;
}

TIoStatus TFakeSerialApi::GetOverlappedResult(THandle handle, TTransferRecord& record, bool wait,
                                              std::uint32_t& transferred) {
    std::lock_guard lock(FMutex);
    Record("GetOverlappedResult", handle, wait ? 1 : 0, RecordId(record));
    const TIoStep step = NextScripted("GetOverlappedResult").value_or(TIoStep{});
    transferred = step.Transferred;
    if (step.Status == TIoStatus::ioPending) {
        FLastError = TLinkError::leIoIncomplete;
    }
    return step.Status;
}

bool TFakeSerialApi::ClearCommError(THandle handle, std::uint32_t& errors, TComStat& stat) {
    std::lock_guard lock(FMutex);
    if (!Record("ClearCommError", handle)) {
        return false;
    }
    errors = std::exchange(FLineErrors, 0);
    stat = FComStat;
    stat.cbInQue = static_cast<std::uint32_t>(FInputQueue.size());
    return true;
}

bool TFakeSerialApi::PurgeComm(THandle handle, std::uint32_t flags) {
    std::lock_guard lock(FMutex);
    if (!Record("PurgeComm", handle, flags)) {
        return false;
    }
    if ((flags & kPurgeRxClear) != 0) {
        FInputQueue.clear();
    }
    return true;
}

bool TFakeSerialApi::EscapeCommFunction(THandle handle, std::uint32_t function) {
    std::lock_guard lock(FMutex);
    return Record("EscapeCommFunction", handle, function);
}

bool TFakeSerialApi::GetCommModemStatus(THandle handle, std::uint32_t& modemStatus) {
    std::lock_guard lock(FMutex);
    if (!Record("GetCommModemStatus", handle)) {
        return false;
    }
    modemStatus = FModemStatus;
    return true;
}

std::unique_ptr<TCommEventWaiter> TFakeSerialApi::CreateEventWaiter(THandle handle) {
    std::lock_guard lock(FMutex);
    if (!Record("CreateEventWaiter", handle)) {
        return nullptr;
    }
    ++FWaitersMade;
    FWaiter = std::make_shared<TFakeWaiterState>();
    FWaiter->Outcome = FWaitOutcome;
    FWaiter->PausesSleep = FPausesSleep;
    return std::make_unique<TFakeEventWaiter>(FWaiter);
}

void TFakeSerialApi::Sleep(std::uint32_t milliseconds) {
    std::lock_guard lock(FMutex);
    Record("Sleep", kInvalidHandle, milliseconds);
}

} // namespace devlink::fake
