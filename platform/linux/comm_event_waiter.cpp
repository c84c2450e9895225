// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/comm_event_waiter.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>

namespace platform {

namespace {

// How often a line is looked at while a change cannot wake the poll: a modem line, an
// error counter, the output queue draining, or more input behind input already reported.
constexpr int kLookIntervalMs = 20;

constexpr std::uint32_t kModemEvents =
    devlink::kEvCts | devlink::kEvDsr | devlink::kEvRlsd | devlink::kEvRing;
constexpr std::uint32_t kCounterEvents = kModemEvents | devlink::kEvBreak | devlink::kEvErr;

// A modem status or counter the device cannot give; EIO means it has hung up.
bool HungUp() {
    return errno == EIO || errno == ENODEV || errno == ENXIO;
}

std::uint32_t ModemLineEvents(int before, int after) {
    const int changed = before ^ after;
    std::uint32_t events = 0;
    events |= (changed & TIOCM_CTS) ? devlink::kEvCts : 0;
    events |= (changed & TIOCM_DSR) ? devlink::kEvDsr : 0;
    events |= (changed & TIOCM_CD) ? devlink::kEvRlsd : 0;
    // A ring is one pulse: it starts, and ends unannounced.
    events |= (changed & after & TIOCM_RNG) ? devlink::kEvRing : 0;
    return events;
}

// Counters also catch a line that went and came back between two looks.
std::uint32_t CounterEvents(const TErrorCounts& before, const TErrorCounts& after) {
    std::uint32_t events = 0;
    events |= (after.cts != before.cts) ? devlink::kEvCts : 0;
    events |= (after.dsr != before.dsr) ? devlink::kEvDsr : 0;
    events |= (after.dcd != before.dcd) ? devlink::kEvRlsd : 0;
    events |= (after.rng != before.rng) ? devlink::kEvRing : 0;
    events |= (after.brk != before.brk) ? devlink::kEvBreak : 0;
    const std::uint32_t errors = CommErrorsBetween(before, after) & ~devlink::kCeBreak;
    events |= errors != 0 ? devlink::kEvErr : 0;
    return events;
}

void DrainSignal(int eventFd) {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(eventFd, &count, sizeof count);
}

} // namespace

std::uint32_t EventsBetween(const TLineSnapshot& before, const TLineSnapshot& after) {
    std::uint32_t events = 0;
    if (after.Received > before.Received) {
        events |= devlink::kEvRxChar;
    }
    if (after.OutQueue == 0 && (before.OutQueue > 0 || after.Written > before.Written)) {
        events |= devlink::kEvTxEmpty;
    }
    const bool counted = before.Counts && after.Counts;
    if (before.ModemLines && after.ModemLines) {
        std::uint32_t lineEvents = ModemLineEvents(*before.ModemLines, *after.ModemLines);
        // A ring is one event, taken from the UART's count, which counts it once at its
        // trailing edge; the line seen going on would report the same pulse a second time.
        if (counted) {
            lineEvents &= ~devlink::kEvRing;
        }
        events |= lineEvents;
    }
    if (counted) {
        events |= CounterEvents(*before.Counts, *after.Counts);
    }
    return events;
}

std::unique_ptr<TLinuxCommEventWaiter>
TLinuxCommEventWaiter::Create(std::shared_ptr<TSerialPort> port) {
    TFileDescriptor cancelSignal(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!cancelSignal.IsOpen()) {
        return nullptr;
    }
    return std::make_unique<TLinuxCommEventWaiter>(std::move(port), std::move(cancelSignal));
}

TLinuxCommEventWaiter::TLinuxCommEventWaiter(std::shared_ptr<TSerialPort> port,
                                             TFileDescriptor cancelSignal)
    : FPort(std::move(port)), FCancelSignal(std::move(cancelSignal)) {
    std::shared_lock use(FPort->UseLock());
    if (!FPort->IsClosed() && TakeSnapshot(FLast)) {
        // Input already waiting counts as arrived, so the first wait reports it.
        FLast.Received -= FLast.InQueue;
        FLast.InQueue = 0;
    }
}

devlink::TWaitResult TLinuxCommEventWaiter::Wait(std::uint32_t& eventMask) {
    eventMask = 0;
    for (;;) {
        std::shared_lock use(FPort->UseLock());
        if (Ended()) {
            return devlink::TWaitResult::wrCancelled;
        }
        const std::uint32_t mask = FPort->EventMask();
        // The event character is seen only in bytes taken from the driver; the caller
        // finds them in the port's read-ahead, in order, before any later ones.
        bool eventCharSeen = false;
        const std::uint64_t consumedBefore = FPort->BytesConsumed();
        if ((mask & devlink::kEvRxFlag) != 0 &&
            !FPort->ReadAhead(FPort->Dcb().EvtChar, eventCharSeen)) {
            return devlink::TWaitResult::wrHungUp;
        }
        // The readable device had input after all: it now waits in the read-ahead.
        if (FPort->BytesConsumed() != consumedBefore) {
            FSawReadable = false;
        }
        TLineSnapshot now;
        if (!TakeSnapshot(now)) {
            return devlink::TWaitResult::wrHungUp;
        }
        FReadableWithoutInput = now.InQueue == 0 && (FSawReadable || FReadableWithoutInput);
        FSawReadable = false;
        const std::uint32_t events =
            (EventsBetween(FLast, now) | (eventCharSeen ? devlink::kEvRxFlag : 0)) & mask;
        FLast = now;
        if (events != 0) {
            eventMask = events;
            return devlink::TWaitResult::wrEvent;
        }
        if (SleepUntilChange(now, mask) == TPollOutcome::poHungUp) {
            return Ended() ? devlink::TWaitResult::wrCancelled : devlink::TWaitResult::wrHungUp;
        }
    }
}

bool TLinuxCommEventWaiter::Pause(std::uint32_t milliseconds) {
    std::array<pollfd, 2> signals{{
        {FCancelSignal.Get(), POLLIN, 0},
        {FPort->ClosedSignal(), POLLIN, 0},
    }};
    const int timeoutMs = static_cast<int>(std::min<std::uint32_t>(milliseconds, INT32_MAX));
    ::poll(signals.data(), signals.size(), timeoutMs);
    return Ended();
}

void TLinuxCommEventWaiter::Cancel() {
    FCancelled.store(true);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(FCancelSignal.Get(), &one, sizeof one);
}

bool TLinuxCommEventWaiter::Ended() const {
    return FCancelled.load() || FPort->IsClosed();
}

bool TLinuxCommEventWaiter::TakeSnapshot(TLineSnapshot& snapshot) const {
    const int device = FPort->Device();
    // Consumed before the queue: a read in between then makes the total look short for a
    // moment (an extra event at worst), never long (a lost one).
    snapshot.Received = FPort->BytesConsumed();
    int inQueue = 0;
    int outQueue = 0;
    if (::ioctl(device, TIOCINQ, &inQueue) != 0 || ::ioctl(device, TIOCOUTQ, &outQueue) != 0) {
        return false;
    }
    snapshot.InQueue = static_cast<std::uint32_t>(inQueue);
    snapshot.OutQueue = static_cast<std::uint32_t>(outQueue);
    snapshot.Received += snapshot.InQueue;
    snapshot.Written = FPort->BytesWritten();
    int lines = 0;
    if (::ioctl(device, TIOCMGET, &lines) == 0) {
        snapshot.ModemLines = lines;
    } else if (HungUp()) {
        return false;
    }
    snapshot.Counts = ReadErrorCounts(device);
    return snapshot.Counts || !HungUp();
}

TLinuxCommEventWaiter::TPollOutcome
TLinuxCommEventWaiter::SleepUntilChange(const TLineSnapshot& now, std::uint32_t mask) {
    const bool watchInput =
        (mask & devlink::kEvRxChar) != 0 && now.InQueue == 0 && !FReadableWithoutInput;
    std::array<pollfd, 4> watched{{
        {FCancelSignal.Get(), POLLIN, 0},
        {FPort->ClosedSignal(), POLLIN, 0},
        {FPort->WakeSignal(), POLLIN, 0},
        {FPort->Device(), static_cast<short>(watchInput ? POLLIN : 0), 0},
    }};
    const int timeoutMs = NeedsLooking(now, mask) ? kLookIntervalMs : -1;
    if (::poll(watched.data(), watched.size(), timeoutMs) <= 0) {
        return TPollOutcome::poLookAgain;
    }
    if ((watched[2].revents & POLLIN) != 0) {
        DrainSignal(FPort->WakeSignal());
    }
    if ((watched[3].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        return TPollOutcome::poHungUp;
    }
    FSawReadable = (watched[3].revents & POLLIN) != 0;
    return TPollOutcome::poLookAgain;
}

bool TLinuxCommEventWaiter::NeedsLooking(const TLineSnapshot& now, std::uint32_t mask) const {
    const bool inputBehindReported =
        (mask & devlink::kEvRxChar) != 0 && (now.InQueue > 0 || FReadableWithoutInput);
    const bool modemLines = (mask & kModemEvents) != 0 && now.ModemLines.has_value();
    const bool counters = (mask & kCounterEvents) != 0 && now.Counts.has_value();
    const bool outputDraining = (mask & devlink::kEvTxEmpty) != 0 && now.OutQueue > 0;
    return inputBehindReported || modemLines || counters || outputDraining;
}

} // namespace platform
