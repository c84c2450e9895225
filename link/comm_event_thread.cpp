// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/comm_event_thread.h"

#include <QMetaObject>
#include <QtGlobal>

#include <array>
#include <system_error>
#include <utility>

namespace devlink {

namespace {

// Event-mask bit of each TCommEventType, by ordinal.
constexpr std::array<std::uint32_t, 9> kEventBitByOrdinal = {
    kEvBreak, kEvCts, kEvDsr, kEvErr, kEvRing, kEvRlsd, kEvRxChar, kEvRxFlag, kEvTxEmpty};

constexpr std::uint32_t kPurgeAll = kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear;

// A wait may fail now and then; a run of failures means something is wrong with the
// device, and retrying without a pause would burn a core until Close.
constexpr int kFailuresBeforePause = 3;
constexpr std::uint32_t kFailurePauseMs = 50;
// A hung-up device stays gone until the port is closed; look again now and then.
constexpr std::uint32_t kHungUpPauseMs = 200;

} // namespace

std::uint32_t CommEventMask(TCommEventTypes events) {
    std::uint32_t mask = 0;
    for (std::size_t ordinal = 0; ordinal < kEventBitByOrdinal.size(); ++ordinal) {
        if ((events & (1u << ordinal)) != 0) {
            mask += kEventBitByOrdinal[ordinal];
        }
    }
    return mask;
}

TCommDispatcher::TCommDispatcher(std::shared_ptr<TCommHandOff> handOff)
    : FHandOff(std::move(handOff)) {}

void TCommDispatcher::Dispatch() {
    // The handler may close and reopen the port, which deletes this dispatcher: keep the
    // hand-off alive locally and touch no member after the call.
    const std::shared_ptr<TCommHandOff> handOff = FHandOff;
    std::uint32_t status = 0;
    {
        std::lock_guard lock(handOff->Mutex);
        status = handOff->Status;
    }
    // A copy, so that Close detaching the handler from inside it does not destroy the
    // function while it runs.
    const TCommHandOff::THandler handler = handOff->Handler;
    std::exception_ptr handlerError;
    if (handler) {
        try {
            handler(handOff->Sender, status);
        } catch (...) {
            // Never let it cross the event loop; the event thread ends on it.
            handlerError = std::current_exception();
        }
    }
    {
        std::lock_guard lock(handOff->Mutex);
        handOff->Pending = false;
        handOff->HandlerError = handlerError;
    }
    handOff->Changed.notify_all();
}

TCommEventThread::TCommEventThread(TSerialApi& api, THandle handle, std::uint32_t suspendTime,
                                   TCommEventTypes monitorEvents,
                                   std::unique_ptr<TCommEventWaiter> waiter)
    : FApi(api), FHandle(handle), FEventMask(CommEventMask(monitorEvents)),
      FSuspendTime(suspendTime), FWaiter(std::move(waiter)),
      FHandOff(std::make_shared<TCommHandOff>()),
      FDispatcher(std::make_unique<TCommDispatcher>(FHandOff)) {
    FHandOff->Sender = this;
    FApi.SetCommMask(FHandle, FEventMask);
}

TCommEventThread::~TCommEventThread() {
    Stop();
}

void TCommEventThread::SetOnEvent(THandler handler) {
    FHandOff->Handler = std::move(handler);
}

void TCommEventThread::DetachHandler() {
    FHandOff->Handler = nullptr;
}

bool TCommEventThread::Resume() {
    try {
        FThread = std::jthread([this](std::stop_token stopToken) { Execute(stopToken); });
    } catch (const std::system_error& error) {
        qWarning("Serial event thread could not start: %s", error.what());
        return false;
    }
    return true;
}

void TCommEventThread::Stop() {
    FThread.request_stop();
    {
        std::lock_guard lock(FHandOff->Mutex);
        FHandOff->Cancelled = true;
    }
    FHandOff->Changed.notify_all();
    FWaiter->Cancel();
    if (FThread.joinable()) {
        FThread.join();
    }
}

bool TCommEventThread::HandOffInFlight() const {
    std::lock_guard lock(FHandOff->Mutex);
    return FHandOff->Pending;
}

void TCommEventThread::Execute(std::stop_token stopToken) {
    try {
        WaitForEvents(stopToken);
    } catch (const std::exception& error) {
        qWarning("Serial event thread stopped: %s", error.what());
    } catch (...) {
        qWarning("Serial event thread stopped by an unknown error");
    }
    FApi.PurgeComm(FHandle, kPurgeAll);
    FFinished = true;
}

void TCommEventThread::WaitForEvents(std::stop_token stopToken) {
    int consecutiveFailures = 0;
    while (!stopToken.stop_requested()) {
        std::uint32_t eventMask = 0;
        const TWaitResult result = FWaiter->Wait(eventMask);
        if (result == TWaitResult::wrCancelled) {
            return;
        }
        if (result == TWaitResult::wrEvent) {
            consecutiveFailures = 0;
            if (!HandOff(eventMask)) {
                return;
            }
        } else if (PauseAfterFailure(result, consecutiveFailures)) {
            return;
        }
    }
}

bool TCommEventThread::HandOff(std::uint32_t status) {
    {
        std::lock_guard lock(FHandOff->Mutex);
        if (FHandOff->Cancelled) {
            return false;
        }
        FHandOff->Status = status;
        FHandOff->Pending = true;
    }
    // Queued by name: the call carries no data across threads, the hand-off holds it.
    QMetaObject::invokeMethod(FDispatcher.get(), "Dispatch", Qt::QueuedConnection);

    // Wakes when the main thread has dispatched, or at once when Close cancels: the main
    // thread in Close must never wait for a thread that waits for the main thread.
    std::unique_lock lock(FHandOff->Mutex);
    FHandOff->Changed.wait(lock, [this] { return !FHandOff->Pending || FHandOff->Cancelled; });
    if (FHandOff->HandlerError) {
        std::rethrow_exception(std::exchange(FHandOff->HandlerError, nullptr));
    }
    return !FHandOff->Cancelled;
}

// True when cancelled during the pause.
bool TCommEventThread::PauseAfterFailure(TWaitResult result, int& consecutiveFailures) {
    if (result == TWaitResult::wrHungUp) {
        return FWaiter->Pause(kHungUpPauseMs);
    }
    ++consecutiveFailures;
    if (consecutiveFailures < kFailuresBeforePause) {
        return false;
    }
    return FWaiter->Pause(kFailurePauseMs);
}

} // namespace devlink
