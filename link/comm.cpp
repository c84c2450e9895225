// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/comm.h"

#include "link/comm_event_thread.h"

namespace devlink {

namespace {

constexpr const char* kMsgAlreadyOpen = "Port already assigned (open) (Error: %d)";
constexpr const char* kMsgNotOpen = "Port not open (Error: %d)";
constexpr const char* kMsgBuffers = "Error initializing Read/Write Buffers (Error: %d)";
constexpr const char* kMsgEscape = "EscapeCommFunction failure (Error: %d)";
constexpr int kRefused = -1;

constexpr std::uint32_t kPurgeAll = kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear;
constexpr std::uint32_t kPurgeInput = kPurgeRxAbort | kPurgeRxClear;
constexpr std::uint32_t kPurgeOutput = kPurgeTxAbort | kPurgeTxClear;

// WaitMode 1 gives a running write this many polls, 1 ms apart.
constexpr int kPatientWaitMode = 1;
constexpr int kPatientPollLimit = 400;

constexpr int kCloseDrainLimitMs = 500;

std::uint32_t ModemLineBit(int selector) {
    switch (selector) {
    case 1:
        return kMsCtsOn;
    case 2:
        return kMsDsrOn;
    case 3:
        return kMsRingOn;
    case 4:
        return kMsRlsdOn;
    default:
        return 0;
    }
}

bool HoldFlag(const TComStat& stat, int selector) {
    switch (selector) {
    case 2:
        return stat.fDsrHold;
    case 3:
        return stat.fRlsdHold;
    case 4:
        return stat.fXoffHold;
    case 5:
        return stat.fXoffSent;
    default:
        return stat.fCtsHold;
    }
}

} // namespace

// --- Construction, open and close ------------------------------------------------------

TThreadComm::TThreadComm(TSerialApi& api)
    : FApi(api), FWriteRecord(api.CreateTransferRecord()), FReadRecord(api.CreateTransferRecord()) {
}

TThreadComm::~TThreadComm() {
    Close();
}

void TThreadComm::Open() {
    std::optional<TPendingReport> failure;
    {
        std::lock_guard guard(FLock);
        failure = OpenLocked();
    }
    if (failure) {
        ReportCommError(failure->Format, failure->Code);
    }
}

std::optional<TThreadComm::TPendingReport> TThreadComm::OpenLocked() {
    if (FOpen) {
        return TPendingReport{kMsgAlreadyOpen, kRefused};
    }
    CreateHandle();
    if (!FOpen) {
        return TPendingReport{kMsgNotOpen, NoteDeviceError()};
    }
    UpdateCommTimeouts();
    UpdateDataControlBlock();
    std::optional<TPendingReport> failure;
    if (!FApi.SetupComm(FHandle, FReadBufSize, FWriteBufSize)) {
        failure = TPendingReport{kMsgBuffers, NoteDeviceError()};
    }
    if (!StartEventThread()) {
        DestroyHandle();
    }
    return failure;
}

bool TThreadComm::StartEventThread() {
    std::unique_ptr<TCommEventWaiter> waiter = FApi.CreateEventWaiter(FHandle);
    if (!waiter) {
        FEventThread.reset();
        return false;
    }
    FEventThread = std::make_unique<TCommEventThread>(FApi, FHandle, FSuspendTime, FMonitorEvents,
                                                      std::move(waiter));
    FEventThread->SetOnEvent(
        [this](void* sender, std::uint32_t status) { HandleCommEvent(sender, status); });
    if (!FEventThread->Resume()) {
        FEventThread.reset();
        return false;
    }
    return true;
}

void TThreadComm::Close() {
    std::lock_guard guard(FLock);
    if (!FOpen) {
        return;
    }
    ++FCloseCount;
    SettleAbandonedWrite(false);
    DrainOutput();
    if (FEventThread) {
        FEventThread->DetachHandler();
        FEventThread->Stop();
    }
    DestroyHandle();
}

// The event thread purges both queues as it ends: what is still on its way out leaves
// first, for as long as a command at the slowest rate needs.
void TThreadComm::DrainOutput() {
    for (int waited = 0; waited < kCloseDrainLimitMs; ++waited) {
        std::uint32_t errors = 0;
        TComStat stat;
        // Output held by XOFF cannot leave: waiting would only delay the close.
        if (!FApi.ClearCommError(FHandle, errors, stat) || stat.cbOutQue == 0 || stat.fXoffHold) {
            return;
        }
        FApi.Sleep(1);
    }
}

bool TThreadComm::Enabled() const {
    return FOpen;
}

void TThreadComm::CheckOpen() {
    if (FOpen) {
        ReportCommError(kMsgAlreadyOpen, kRefused);
    }
}

void TThreadComm::CreateHandle() {
    FHandle = FApi.CreateFile(FDeviceName);
    if (FHandle == kInvalidHandle) {
        FOpen = false;
        return;
    }
    FOpen = true;
    if (!FApi.IsCharacterDevice(FHandle)) {
        DestroyHandle();
        return;
    }
    FApi.SetCommMask(FHandle, kEvAll);
}

void TThreadComm::DestroyHandle() {
    if (FHandle != kInvalidHandle) {
        SettleAbandonedWrite(true);
        FApi.CloseHandle(FHandle);
    }
    FOpen = false;
    FHandle = kInvalidHandle;
}

// A write given up by WriteEx still runs on the write record; the record is reused only
// once the driver is done with it. Closing aborts it first, so Close never waits long.
void TThreadComm::SettleAbandonedWrite(bool abortWrite) {
    if (!FWriteAbandoned) {
        return;
    }
    if (abortWrite) {
        FApi.PurgeComm(FHandle, kPurgeTxAbort);
    }
    std::uint32_t transferred = 0;
    while (FApi.GetOverlappedResult(FHandle, *FWriteRecord, true, transferred) ==
           TIoStatus::ioPending) {
    }
    FWriteAbandoned = false;
}

// --- Transfers -------------------------------------------------------------------------

int TThreadComm::Write(const char* data, std::uint32_t count) {
    return WriteEx(data, count, 0);
}

int TThreadComm::WriteEx(const char* data, std::uint32_t count, int waitMode) {
    if (!FOpen) {
        return -1;
    }
    std::lock_guard guard(FLock);
    SettleAbandonedWrite(false);
    std::uint32_t transferred = 0;
    switch (FApi.WriteFile(FHandle, *FWriteRecord, data, count, transferred)) {
    case TIoStatus::ioDone:
        return static_cast<int>(transferred);
    case TIoStatus::ioPending:
        return static_cast<int>(AwaitWrite(waitMode));
    case TIoStatus::ioFailed:
        NoteDeviceError();
        ClearLineErrors();
        return 0;
    }
    return 0;
}

// The count a poll reports is the transfer's own running total, so the last one is the
// result; adding up the polls would count the same bytes again.
std::uint32_t TThreadComm::AwaitWrite(int waitMode) {
    for (int polls = 1;; ++polls) {
        std::uint32_t transferred = 0;
        const TIoStatus status =
            FApi.GetOverlappedResult(FHandle, *FWriteRecord, false, transferred);
        if (status == TIoStatus::ioDone) {
            return transferred;
        }
        if (status == TIoStatus::ioFailed) {
            NoteDeviceError();
            ClearLineErrors();
            return transferred;
        }
        if (waitMode == kPatientWaitMode) {
            if (polls >= kPatientPollLimit) {
                FWriteAbandoned = true;
                return transferred;
            }
            FApi.Sleep(1);
        }
    }
}

int TThreadComm::Read(char* buffer, std::uint32_t count) {
    if (!FOpen) {
        return -1;
    }
    std::lock_guard guard(FLock);
    ClearLineErrors();
    if (count == 0) {
        ClearLineErrors();
        return 0;
    }
    std::uint32_t transferred = 0;
    switch (FApi.ReadFile(FHandle, *FReadRecord, buffer, count, transferred)) {
    case TIoStatus::ioDone:
        return static_cast<int>(transferred);
    case TIoStatus::ioPending:
        return static_cast<int>(AwaitRead());
    case TIoStatus::ioFailed:
        NoteDeviceError();
        return 0;
    }
    return 0;
}

// The read rule of the time-outs bounds each wait.
std::uint32_t TThreadComm::AwaitRead() {
    for (;;) {
        std::uint32_t transferred = 0;
        const TIoStatus status = FApi.GetOverlappedResult(FHandle, *FReadRecord, true, transferred);
        if (status == TIoStatus::ioDone) {
            return transferred;
        }
        if (status == TIoStatus::ioFailed) {
            NoteDeviceError();
            ClearLineErrors();
            return transferred;
        }
    }
}

void TThreadComm::ClearLineErrors() {
    std::uint32_t errors = 0;
    TComStat stat;
    FApi.ClearCommError(FHandle, errors, stat);
}

bool TThreadComm::ReadDeviceStatus(std::uint32_t& errors, TComStat& stat) {
    if (FOpen && FApi.ClearCommError(FHandle, errors, stat)) {
        return true;
    }
    errors = 0;
    stat = TComStat{};
    return false;
}

int TThreadComm::InQueCount() {
    if (!FOpen) {
        return -1;
    }
    std::uint32_t errors = 0;
    TComStat stat;
    ReadDeviceStatus(errors, stat);
    return static_cast<int>(stat.cbInQue);
}

int TThreadComm::OutQueCount() {
    if (!FOpen) {
        return -1;
    }
    std::uint32_t errors = 0;
    TComStat stat;
    ReadDeviceStatus(errors, stat);
    return static_cast<int>(stat.cbOutQue);
}

void TThreadComm::PurgeIn() {
    if (FOpen) {
        FApi.PurgeComm(FHandle, kPurgeInput);
    }
}

void TThreadComm::PurgeOut() {
    if (FOpen) {
        FApi.PurgeComm(FHandle, kPurgeOutput);
    }
}

// --- Modem lines and escape functions --------------------------------------------------

void TThreadComm::EscapeComm(int function) {
    if (!FOpen) {
        ReportCommError(kMsgNotOpen, kRefused);
        return;
    }
    bool done = false;
    {
        std::lock_guard guard(FLock);
        done = FApi.EscapeCommFunction(FHandle, static_cast<std::uint32_t>(function));
    }
    if (!done) {
        ReportCommError(kMsgEscape, NoteDeviceError());
    }
}

void TThreadComm::SetDTRState(bool state) {
    EscapeComm(state ? kSetDtr : kClrDtr);
}

void TThreadComm::SetRTSState(bool state) {
    EscapeComm(state ? kSetRts : kClrRts);
}

void TThreadComm::SetBREAKState(bool state) {
    EscapeComm(state ? kSetBreak : kClrBreak);
    if (FOpen) {
        std::lock_guard guard(FLock);
        FApi.PurgeComm(FHandle, kPurgeAll);
    }
}

void TThreadComm::SetXONState(bool state) {
    EscapeComm(state ? kSetXon : kSetXoff);
}

bool TThreadComm::GetModemState(int selector) {
    std::uint32_t modemStatus = 0;
    if (!FOpen || !FApi.GetCommModemStatus(FHandle, modemStatus)) {
        return true;
    }
    return (modemStatus & ModemLineBit(selector)) != 0;
}

bool TThreadComm::GetComState(int selector) {
    std::uint32_t errors = 0;
    TComStat stat;
    if (!ReadDeviceStatus(errors, stat)) {
        return false;
    }
    return HoldFlag(stat, selector);
}

void TThreadComm::Lock() {
    FLock.lock();
}

void TThreadComm::Unlock() {
    FLock.unlock();
}

// --- Event dispatch --------------------------------------------------------------------

void TThreadComm::HandleCommEvent(void* /*sender*/, std::uint32_t status) {
    std::uint32_t errors = 0;
    TComStat stat;
    ReadDeviceStatus(errors, stat);

    void* const self = this;
    const std::uint64_t closesAtStart = FCloseCount;
    // A handler may close the port (a modal box runs the event loop): then nothing more.
    const auto stillOpen = [&] { return FCloseCount == closesAtStart; };
    const auto notify = [&](std::uint32_t bit, const TNotifyEvent& handler) {
        if ((status & bit) != 0 && handler && stillOpen()) {
            handler(self);
        }
    };

    notify(kEvBreak, OnBreak);
    notify(kEvCts, OnCts);
    notify(kEvDsr, OnDsr);
    if ((status & kEvErr) != 0 && OnError && stillOpen()) {
        OnError(self, static_cast<int>(errors));
    }
    notify(kEvRing, OnRing);
    notify(kEvRlsd, OnRlsd);
    if ((status & kEvRxChar) != 0 && stat.cbInQue > 0 && OnRxChar && stillOpen()) {
        OnRxChar(self, stat.cbInQue);
    }
    notify(kEvRxFlag, OnRxFlag);
    notify(kEvTxEmpty, OnTxEmpty);
    if (OnComStatEvent && stillOpen()) {
        OnComStatEvent(self, status, stat);
    }
}

void TThreadComm::ReportCommError(const char* /*format*/, int /*code*/) {}

// The report's code is the failure's ordinal; callers that act on it read LastError().
int TThreadComm::NoteDeviceError() {
    FLastError = FApi.GetLastError();
    return static_cast<int>(FLastError);
}

} // namespace devlink
