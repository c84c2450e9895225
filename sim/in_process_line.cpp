// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/in_process_line.h"

#include "sim/transcript.h"

#include <algorithm>
#include <chrono>

namespace sim {

TInProcessLine::TInProcessLine(TVirtualCutter& cutter, TFaults faults)
    : FPort(cutter, std::move(faults), 0) {}

bool TInProcessLine::Send(std::string_view bytes) {
    std::lock_guard lock(FMutex);
    if (FHungUp) {
        return false;
    }
    TPortResult result = FPort.Receive(bytes);
    RecordLocked(result.Events);
    for (const TReplyPlan& plan : result.Replies) {
        for (const TTimedByte& timed : plan.Bytes) {
            FPending.push_back(timed.Byte);
        }
        FHangUpAfterPending = FHangUpAfterPending || plan.HangUp;
    }
    DeliverLocked(FImmediate ? FPending.size() : 0);
    return true;
}

void TInProcessLine::SetImmediate(bool immediate) {
    std::lock_guard lock(FMutex);
    FImmediate = immediate;
    if (immediate) {
        DeliverLocked(FPending.size());
    }
}

void TInProcessLine::InjectPending(std::string_view bytes) {
    std::lock_guard lock(FMutex);
    FPending.insert(FPending.end(), bytes.begin(), bytes.end());
}

std::size_t TInProcessLine::DeliverNext(std::size_t count) {
    std::lock_guard lock(FMutex);
    return DeliverLocked(count);
}

std::size_t TInProcessLine::DeliverAll() {
    std::lock_guard lock(FMutex);
    return DeliverLocked(FPending.size());
}

std::size_t TInProcessLine::DeliverLocked(std::size_t count) {
    const std::size_t moved = std::min(count, FPending.size());
    FReadable.insert(FReadable.end(), FPending.begin(), FPending.begin() + moved);
    FPending.erase(FPending.begin(), FPending.begin() + moved);
    if (moved > 0) {
        ++FDeliveries;
    }
    if (FHangUpAfterPending && FPending.empty()) {
        FHungUp = true;
    }
    if (moved > 0 || FHungUp) {
        FChanged.notify_all();
    }
    return moved;
}

std::size_t TInProcessLine::Pending() const {
    std::lock_guard lock(FMutex);
    return FPending.size();
}

std::size_t TInProcessLine::Readable() const {
    std::lock_guard lock(FMutex);
    return FReadable.size();
}

std::string TInProcessLine::Take(std::size_t count) {
    std::lock_guard lock(FMutex);
    const std::size_t taken = std::min(count, FReadable.size());
    std::string bytes(FReadable.begin(), FReadable.begin() + taken);
    FReadable.erase(FReadable.begin(), FReadable.begin() + taken);
    return bytes;
}

void TInProcessLine::DiscardReadable() {
    std::lock_guard lock(FMutex);
    FReadable.clear();
}

void TInProcessLine::DiscardAll() {
    std::lock_guard lock(FMutex);
    FReadable.clear();
    FPending.clear();
    if (FHangUpAfterPending) {
        FHungUp = true;
        FChanged.notify_all();
    }
}

void TInProcessLine::HangUp() {
    std::lock_guard lock(FMutex);
    if (!FHungUp) {
        RecordLocked({{TEventKind::ekLine, "hang-up"}});
    }
    FHungUp = true;
    FPending.clear();
    FChanged.notify_all();
}

bool TInProcessLine::HungUp() const {
    std::lock_guard lock(FMutex);
    return FHungUp;
}

TInProcessLine::TSnapshot TInProcessLine::Snapshot() const {
    std::lock_guard lock(FMutex);
    return {FDeliveries, FReadable.size(), FHungUp};
}

TInProcessLine::TSnapshot TInProcessLine::WaitForChange(std::uint64_t seenDeliveries,
                                                        const std::function<bool()>& stop) {
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [&] { return stop() || FHungUp || FDeliveries != seenDeliveries; });
    return {FDeliveries, FReadable.size(), FHungUp};
}

bool TInProcessLine::PauseUnless(std::uint32_t milliseconds, const std::function<bool()>& stop) {
    std::unique_lock lock(FMutex);
    return FChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), stop);
}

void TInProcessLine::WakeWaiters() {
    std::lock_guard lock(FMutex);
    FChanged.notify_all();
}

std::vector<std::string> TInProcessLine::Transcript() const {
    std::lock_guard lock(FMutex);
    return {FTranscript.begin(), FTranscript.end()};
}

void TInProcessLine::RecordLocked(const TCutterEvents& events) {
    for (const TCutterEvent& event : events) {
        FTranscript.push_back(FormatEvent(event));
        if (FTranscript.size() > kMaxTranscriptLines) {
            FTranscript.pop_front();
        }
    }
}

} // namespace sim
