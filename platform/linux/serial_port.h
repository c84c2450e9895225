// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/serial_api.h"
#include "platform/linux/file_descriptor.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <linux/serial.h>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <sys/types.h>
#include <vector>

namespace platform {

// The line error counters the driver keeps (TIOCGICOUNT).
using TErrorCounts = serial_icounter_struct;

// The counters of `fd`; nothing when the device keeps none (a pseudo-terminal) or is gone.
std::optional<TErrorCounts> ReadErrorCounts(int fd);
// The ClearCommError flags for what the counters gained from `before` to `after`.
std::uint32_t CommErrorsBetween(const TErrorCounts& before, const TErrorCounts& after);

// One open serial device and what is kept about it per handle. The owning thread works
// the device directly; the event waiter, on its own thread, shares the port and uses the
// device only while it holds UseLock shared, which Close takes exclusively before the
// descriptor goes, so a closed descriptor number is never used again by mistake.
class TSerialPort {
public:
    // Opens `device` for exclusive use in raw mode; nullptr with errno set when it cannot
    // be: EBUSY when another holds it, ENOTTY when it is no terminal.
    static std::shared_ptr<TSerialPort> Open(const std::filesystem::path& device);
    TSerialPort(TFileDescriptor device, TFileDescriptor closedSignal, TFileDescriptor wakeSignal,
                TFileDescriptor inputSignal);
    ~TSerialPort();
    TSerialPort(const TSerialPort&) = delete;
    TSerialPort& operator=(const TSerialPort&) = delete;

    // Gives the device up: lets waiting output drain for a short while, ends every wait
    // on the port, then closes.
    void Close();
    bool IsClosed() const { return FClosed.load(); }
    int Device() const { return FDevice.Get(); }
    std::shared_mutex& UseLock() { return FUseLock; }
    // Readable once the port has closed.
    int ClosedSignal() const { return FClosedSignal.Get(); }
    // Readable after output was handed to the driver; a waiter drains it.
    int WakeSignal() const { return FWakeSignal.Get(); }

    std::uint32_t EventMask() const { return FEventMask.load(); }
    void SetEventMask(std::uint32_t mask) { FEventMask.store(mask); }

    // Input. The event waiter may take bytes from the driver ahead of the caller (to see
    // the event character in them); they wait here, in order, before the driver's own.
    // Reads up to `count` bytes as read() does: the count, 0 at end of file, or -1 with
    // errno (EAGAIN when nothing waits).
    ssize_t ReadInput(char* buffer, std::size_t count);
    // Moves what the driver holds into the read-ahead; `eventCharSeen` tells whether
    // `eventChar` came among the bytes moved. False with errno when the device failed or
    // hung up.
    bool ReadAhead(char eventChar, bool& eventCharSeen);
    // Bytes waiting for the caller: the read-ahead and the driver's input queue; false
    // with errno when the driver cannot tell.
    bool InputWaiting(std::uint32_t& count);
    // Throws away every byte waiting for the caller.
    bool DiscardInput();
    // Throws away output the driver still holds (TIOCOUTQ above 0), never bytes it has
    // already handed on: a pseudo-terminal holds none, yet its flush would discard what the
    // far end has not read yet, a command reported as sent among it.
    bool DiscardHeldOutput() const;
    // Readable after the read-ahead gained bytes: a read waiting on the device alone would
    // not see them.
    int InputSignal() const { return FInputSignal.Get(); }
    void TakeInputSignal() const;

    // Bytes taken from the driver's input queue (read, read ahead or purged) and handed
    // to the driver since the open: with the queue counts they tell the waiter what
    // arrived and what left.
    std::uint64_t BytesConsumed() const { return FBytesConsumed.load(); }
    void NoteConsumed(std::uint64_t count) { FBytesConsumed.fetch_add(count); }
    std::uint64_t BytesWritten() const { return FBytesWritten.load(); }
    void NoteWritten(std::uint64_t count);

    // Transfers in flight compare these at every step; a purge with abort bumps them.
    std::uint32_t ReadAborts() const { return FReadAborts.load(); }
    std::uint32_t WriteAborts() const { return FWriteAborts.load(); }
    void AbortReads() { FReadAborts.fetch_add(1); }
    void AbortWrites() { FWriteAborts.fetch_add(1); }

    // Output stopped by this handle's own XOFF (tcflow); the driver does not tell.
    bool OutputHeld() const { return FOutputHeld.load(); }
    void SetOutputHeld(bool held) { FOutputHeld.store(held); }

    devlink::TCommTimeouts Timeouts() const;
    void SetTimeouts(const devlink::TCommTimeouts& timeouts);
    // The DCB last set, over which GetCommState lays what the device reports.
    devlink::TDcb Dcb() const;
    void SetDcb(const devlink::TDcb& dcb);
    // The line error flags raised since the last call.
    std::uint32_t TakeLineErrors();

private:
    void DrainOutputBriefly() const;

    TFileDescriptor FDevice;
    TFileDescriptor FClosedSignal;
    TFileDescriptor FWakeSignal;
    TFileDescriptor FInputSignal;
    std::mutex FInputLock;
    std::vector<char> FReadAhead;
    std::shared_mutex FUseLock;
    std::atomic<bool> FClosed{false};
    std::atomic<std::uint32_t> FEventMask{devlink::kEvAll};
    std::atomic<std::uint64_t> FBytesConsumed{0};
    std::atomic<std::uint64_t> FBytesWritten{0};
    std::atomic<std::uint32_t> FReadAborts{0};
    std::atomic<std::uint32_t> FWriteAborts{0};
    std::atomic<bool> FOutputHeld{false};

    mutable std::mutex FStateLock;
    devlink::TCommTimeouts FTimeouts;
    devlink::TDcb FDcb;
    std::optional<TErrorCounts> FCountsSeen;
};

} // namespace platform
