// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The serial event thread: waits for line events on an open port and hands each one to
// the main thread, blocking until the main thread has dispatched it.

#include "link/comm.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

namespace devlink {

// The event mask for SetCommMask: the bits of the members of `events`, in ordinal order.
std::uint32_t CommEventMask(TCommEventTypes events);

// What the event thread and the main thread share about one hand-off. The mutex guards
// every field but Handler and Sender, which only the main thread touches.
struct TCommHandOff {
    using THandler = std::function<void(void* sender, std::uint32_t status)>;

    std::mutex Mutex;
    std::condition_variable Changed;
    bool Cancelled = false;
    bool Pending = false; // a dispatch is queued on the main thread and has not run yet
    std::uint32_t Status = 0;
    std::exception_ptr HandlerError;

    THandler Handler;
    void* Sender = nullptr;
};

// Lives in the main thread; the event thread queues Dispatch on it. It holds the shared
// hand-off, so a dispatch that runs after Close finds the handler detached.
class TCommDispatcher : public QObject {
    Q_OBJECT
public:
    explicit TCommDispatcher(std::shared_ptr<TCommHandOff> handOff);

    Q_INVOKABLE void Dispatch();

private:
    std::shared_ptr<TCommHandOff> FHandOff;
};

class TCommEventThread {
public:
    using THandler = TCommHandOff::THandler;

    // Made suspended, on the main thread: selects the monitored events on the device.
    TCommEventThread(TSerialApi& api, THandle handle, std::uint32_t suspendTime,
                     TCommEventTypes monitorEvents, std::unique_ptr<TCommEventWaiter> waiter);
    ~TCommEventThread();
    TCommEventThread(const TCommEventThread&) = delete;
    TCommEventThread& operator=(const TCommEventThread&) = delete;

    // Attaches the handler; only while suspended.
    void SetOnEvent(THandler handler);
    // Empties the handler: a dispatch already queued then does nothing.
    void DetachHandler();
    // Starts the thread; false when the system could not start one.
    bool Resume();
    // Cancels the pending wait or hand-off and joins the thread. Returns at once, also
    // when the thread waits for the main thread or has already ended.
    void Stop();

    bool Finished() const { return FFinished.load(); }
    // True while an event is handed to the main thread and not yet dispatched.
    bool HandOffInFlight() const;
    std::uint32_t EventMask() const { return FEventMask; }
    std::uint32_t SuspendTime() const { return FSuspendTime; }

private:
    void Execute(std::stop_token stopToken);
    void WaitForEvents(std::stop_token stopToken);
    // False when the thread must end: cancelled, or the handler failed.
    bool HandOff(std::uint32_t status);
    bool PauseAfterFailure(TWaitResult result, int& consecutiveFailures);

    TSerialApi& FApi;
    THandle FHandle;
    std::uint32_t FEventMask;
    std::uint32_t FSuspendTime;
    std::unique_ptr<TCommEventWaiter> FWaiter;
    std::shared_ptr<TCommHandOff> FHandOff;
    std::unique_ptr<TCommDispatcher> FDispatcher;
    std::atomic<bool> FFinished{false};
    std::jthread FThread;
};

} // namespace devlink
