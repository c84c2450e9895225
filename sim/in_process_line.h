// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sim/cutter_model.h"
#include "sim/cutter_port.h"
#include "sim/reply_plan.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// The cable between a host and the virtual cutter, without a clock: what the host sends
// reaches the cutter at once; the cutter's replies wait as pending bytes until the test
// delivers them (or at once in immediate mode), and only delivered bytes can be read.
// Timing faults therefore change nothing here; the others do. Safe to use from several
// threads (a host's event thread waits while its main thread reads and writes).
class TInProcessLine {
public:
    struct TSnapshot {
        std::uint64_t Deliveries = 0; // number of deliveries that made bytes readable
        std::size_t Readable = 0;
        bool HungUp = false;
    };

    explicit TInProcessLine(TVirtualCutter& cutter, TFaults faults = {});

    // Host to cutter. False, with nothing taken, once the line has hung up.
    bool Send(std::string_view bytes);

    // Replies readable as soon as they are made (true) or only when delivered (false).
    void SetImmediate(bool immediate);
    // Bytes no reply of the cutter made (noise, a stray answer) join the pending ones.
    void InjectPending(std::string_view bytes);
    // Makes up to `count` pending bytes readable; returns how many.
    std::size_t DeliverNext(std::size_t count);
    std::size_t DeliverAll();
    std::size_t Pending() const;
    std::size_t Readable() const;
    // Takes up to `count` readable bytes.
    std::string Take(std::size_t count);
    void DiscardReadable();
    // Drops everything not yet read, pending and readable (nobody is listening).
    void DiscardAll();
    // Pulls the cable: nothing more is carried either way.
    void HangUp();
    bool HungUp() const;

    TSnapshot Snapshot() const;
    // Blocks until bytes are delivered after `seenDeliveries`, the line hangs up, or
    // `stop()` holds (checked again after every WakeWaiters).
    TSnapshot WaitForChange(std::uint64_t seenDeliveries, const std::function<bool()>& stop);
    // Blocks for up to `milliseconds` or until `stop()` holds; true when stopped.
    bool PauseUnless(std::uint32_t milliseconds, const std::function<bool()>& stop);
    void WakeWaiters();

    // The transcript lines so far (the most recent kMaxTranscriptLines).
    std::vector<std::string> Transcript() const;
    // Access to the cutter; not while another thread sends.
    TVirtualCutter& Cutter() { return FPort.Cutter(); }

    static constexpr std::size_t kMaxTranscriptLines = 10000;

private:
    std::size_t DeliverLocked(std::size_t count);
    void RecordLocked(const TCutterEvents& events);

    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    TCutterPort FPort;
    std::deque<char> FPending;
    std::deque<char> FReadable;
    bool FHangUpAfterPending = false;
    bool FHungUp = false;
    bool FImmediate = false;
    std::uint64_t FDeliveries = 0;
    std::deque<std::string> FTranscript;
};

} // namespace sim
