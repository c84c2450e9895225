// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/serial_api.h"
#include "platform/linux/file_descriptor.h"
#include "platform/linux/serial_port.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

// What the waiter sees of a line at one moment.
struct TLineSnapshot {
    std::uint64_t Received = 0; // every byte that ever reached the input queue
    std::uint32_t InQueue = 0;
    std::uint32_t OutQueue = 0;
    std::uint64_t Written = 0;          // every byte handed to the driver
    std::optional<int> ModemLines;      // TIOCMGET; none on a device without modem lines
    std::optional<TErrorCounts> Counts; // TIOCGICOUNT; none likewise
};

// The event bits for what happened on the line between two snapshots.
std::uint32_t EventsBetween(const TLineSnapshot& before, const TLineSnapshot& after);

// Waits for line events by comparing snapshots of the device while it sleeps in poll on
// the device, its own cancel signal and the port's close and output signals. Input that
// has been reported and not yet read is not reported again: only growth counts.
class TLinuxCommEventWaiter final : public devlink::TCommEventWaiter {
public:
    // nullptr with errno set when no cancel signal can be made.
    static std::unique_ptr<TLinuxCommEventWaiter> Create(std::shared_ptr<TSerialPort> port);
    TLinuxCommEventWaiter(std::shared_ptr<TSerialPort> port, TFileDescriptor cancelSignal);

    devlink::TWaitResult Wait(std::uint32_t& eventMask) override;
    bool Pause(std::uint32_t milliseconds) override;
    void Cancel() override;

private:
    enum class TPollOutcome { poLookAgain, poHungUp };

    bool Ended() const;
    // False when the device has hung up.
    bool TakeSnapshot(TLineSnapshot& snapshot) const;
    TPollOutcome SleepUntilChange(const TLineSnapshot& now, std::uint32_t mask);
    bool NeedsLooking(const TLineSnapshot& now, std::uint32_t mask) const;

    std::shared_ptr<TSerialPort> FPort;
    TFileDescriptor FCancelSignal;
    std::atomic<bool> FCancelled{false};
    TLineSnapshot FLast;
    // poll said the device was readable: if the queue then shows nothing, the device is
    // watched by looking from time to time instead, so a readable end of file cannot spin.
    bool FSawReadable = false;
    bool FReadableWithoutInput = false;
};

} // namespace platform
