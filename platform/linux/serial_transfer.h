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
// GetOverlappedResult until it ends by the port's time-out rule. A write keeps the bytes
// the driver did not take at once in the record's own buffer, which is allocated once and
// grows only when a longer write needs it; the caller's buffer is free at once.
class TSerialTransferRecord final : public devlink::TTransferRecord {
public:
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
    bool ReadFinished() const;
    bool DeadlinePassed() const;
    bool Aborted(const TSerialPort& port) const;
    // Blocks until the device can go on or the deadline comes; false when it hung up.
    bool WaitForDevice(const TSerialPort& port) const;
    devlink::TIoStatus Complete(std::uint32_t& transferred);
    devlink::TIoStatus Fail(int code);
    devlink::TIoStatus Report(std::uint32_t& transferred) const;

    TKind FKind = TKind::tkNone;
    bool FRunning = false;
    devlink::TIoStatus FOutcome = devlink::TIoStatus::ioFailed;
    std::uint32_t FError = EINVAL; // nothing was started
    std::uint32_t FRequested = 0;
    std::uint32_t FDone = 0;
    std::uint32_t FAbortsAtStart = 0;
    std::optional<TClock::time_point> FDeadline;
    bool FAnyByteEnds = false;
    char* FReadBuffer = nullptr;
    std::vector<char> FUnsent;
    std::size_t FUnsentOffset = 0;
};

} // namespace platform
