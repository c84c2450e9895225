// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/serial_api.h"
#include "platform/linux/serial_port.h"

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

// One transfer record: a read or a write started on a port and carried on by
// GetOverlappedResult until it ends by the port's time-out rule. A write keeps its bytes
// in the record's own buffer, which grows only when a longer write needs it, so the
// caller's buffer is free at once; it ends when the bytes have left the line, not when
// the driver has queued them, and reports only those that left.
class TSerialTransferRecord final : public devlink::TTransferRecord {
public:
    // A write without a deadline of its own gives up when the line took nothing this long.
    static constexpr std::chrono::seconds kStalledWriteLimit{5};

    // Reads up to `count` bytes into `buffer`, which must stay valid until the read ends.
    devlink::TIoStatus StartRead(TSerialPort& port, char* buffer, std::uint32_t count,
                                 std::uint32_t& transferred);
    // Writes `count` bytes. A write still running on this record is first carried to its end.
    devlink::TIoStatus StartWrite(TSerialPort& port, const char* data, std::uint32_t count,
                                  std::uint32_t& transferred);
    // The outcome of the transfer last started; with `wait`, blocks until it ends.
    devlink::TIoStatus Continue(TSerialPort& port, bool wait, std::uint32_t& transferred);

private:
    using TClock = std::chrono::steady_clock;
    enum class TKind { tkNone, tkRead, tkWrite };

    void Begin(TKind kind, TSerialPort& port, std::uint32_t count,
               std::optional<TClock::time_point> deadline);
    devlink::TIoStatus Step(TSerialPort& port);
    bool ReadWaiting(TSerialPort& port);
    bool SendUnsent(TSerialPort& port);
    // Bytes handed to the driver that have not left the line yet.
    std::uint32_t QueuedOutput(const TSerialPort& port) const;
    void NoteWriteProgress(std::uint32_t queued);
    // The write rule's deadline passed or, where the rule sets none, the line took nothing
    // for kStalledWriteLimit (output held for good must not hold the caller for ever).
    bool WriteTimedOut() const;
    bool ReadFinished() const;
    bool DeadlinePassed() const;
    bool Aborted(const TSerialPort& port) const;
    // Blocks until the device can go on or the deadline comes; false when it hung up.
    bool WaitForDevice(const TSerialPort& port) const;
    devlink::TIoStatus Fail(int errnoValue);
    devlink::TIoStatus Report(std::uint32_t& transferred) const;

    TKind FKind = TKind::tkNone;
    bool FRunning = false;
    devlink::TIoStatus FOutcome = devlink::TIoStatus::ioFailed;
    int FErrno = EINVAL; // nothing was started
    std::uint32_t FRequested = 0;
    std::uint32_t FDone = 0;
    std::uint32_t FAbortsAtStart = 0;
    std::optional<TClock::time_point> FDeadline;
    bool FAnyByteEnds = false;
    char* FReadBuffer = nullptr;
    std::vector<char> FUnsent;
    std::size_t FUnsentOffset = 0;
    TClock::time_point FLastProgress;
    std::size_t FPendingSeen = 0;
};

} // namespace platform
