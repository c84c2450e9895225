// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/serial_transfer.h"

#include "platform/linux/last_error.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {

using devlink::TIoStatus;

// How often a write looks at the driver's queue while the last bytes leave the line.
constexpr int kDrainLookMs = 2;

// Longer time-outs are as good as none and would not fit the clock.
constexpr std::uint64_t kLongestTimeoutMs = std::uint64_t{1} << 31;

std::chrono::steady_clock::time_point In(std::uint64_t milliseconds) {
    return std::chrono::steady_clock::now() +
           std::chrono::milliseconds(std::min(milliseconds, kLongestTimeoutMs));
}

// The deadline of a transfer of `count` bytes: multiplier × count + constant
// milliseconds; none when both are 0.
std::optional<std::chrono::steady_clock::time_point>
TotalDeadline(std::uint32_t multiplier, std::uint32_t constant, std::uint32_t count) {
    const std::uint64_t total = std::uint64_t{multiplier} * count + constant;
    if (total == 0) {
        return std::nullopt;
    }
    return In(total);
}

// Writes what the driver takes now; the count written, or -1 with errno set.
ssize_t SendSome(TSerialPort& port, const char* data, std::size_t size) {
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::write(port.Device(), data + sent, size - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n == 0 || errno == EAGAIN) {
            break; // the driver takes no more for now
        } else if (errno != EINTR) {
            return -1;
        }
    }
    if (sent > 0) {
        port.NoteWritten(sent);
    }
    return static_cast<ssize_t>(sent);
}

} // namespace

TIoStatus TSerialTransferRecord::StartRead(TSerialPort& port, char* buffer, std::uint32_t count,
                                           std::uint32_t& transferred) {
    const devlink::TCommTimeouts timeouts = port.Timeouts();
    const bool noIntervalLimit = timeouts.ReadIntervalTimeout == devlink::kMaxDword;
    const std::uint32_t multiplier = timeouts.ReadTotalTimeoutMultiplier;
    const std::uint32_t constant = timeouts.ReadTotalTimeoutConstant;
    if (noIntervalLimit && multiplier == 0 && constant == 0) {
        Begin(TKind::tkRead, port, count, TClock::now()); // what is there, at once
    } else if (noIntervalLimit && multiplier == devlink::kMaxDword && constant != 0 &&
               constant != devlink::kMaxDword) {
        Begin(TKind::tkRead, port, count, In(constant)); // the first bytes, or none in time
        FAnyByteEnds = true;
    } else {
        Begin(TKind::tkRead, port, count, TotalDeadline(multiplier, constant, count));
    }
    FReadBuffer = buffer;
    const TIoStatus status = Step(port);
    if (status == TIoStatus::ioPending) {
        SetLastLinkError(devlink::TLinkError::leIoPending);
        transferred = FDone;
        return status;
    }
    return Report(transferred);
}

TIoStatus TSerialTransferRecord::StartWrite(TSerialPort& port, const char* data,
                                            std::uint32_t count, std::uint32_t& transferred) {
    if (FRunning && FKind == TKind::tkWrite) {
        std::uint32_t previous = 0;
        Continue(port, true, previous);
    }
    const devlink::TCommTimeouts timeouts = port.Timeouts();
    Begin(TKind::tkWrite, port, count,
          TotalDeadline(timeouts.WriteTotalTimeoutMultiplier, timeouts.WriteTotalTimeoutConstant,
                        count));
    FUnsent.assign(data, data + count);
    FUnsentOffset = 0;
    if (Step(port) == TIoStatus::ioPending) {
        SetLastLinkError(devlink::TLinkError::leIoPending);
        transferred = FDone;
        return TIoStatus::ioPending;
    }
    return Report(transferred);
}

TIoStatus TSerialTransferRecord::Continue(TSerialPort& port, bool wait,
                                          std::uint32_t& transferred) {
    bool hungUp = false;
    while (FRunning) {
        const TIoStatus status = Step(port);
        if (status != TIoStatus::ioPending) {
            break;
        }
        if (hungUp) {
            Fail(EIO);
            break;
        }
        if (!wait) {
            SetLastLinkError(devlink::TLinkError::leIoIncomplete);
            transferred = FDone;
            return TIoStatus::ioPending;
        }
        hungUp = !WaitForDevice(port);
    }
    return Report(transferred);
}

void TSerialTransferRecord::Begin(TKind kind, TSerialPort& port, std::uint32_t count,
                                  std::optional<TClock::time_point> deadline) {
    FKind = kind;
    FRunning = true;
    FOutcome = TIoStatus::ioPending;
    FErrno = 0;
    FRequested = count;
    FDone = 0;
    FAbortsAtStart = kind == TKind::tkRead ? port.ReadAborts() : port.WriteAborts();
    FDeadline = deadline;
    FAnyByteEnds = false;
    FReadBuffer = nullptr;
    FUnsentOffset = FUnsent.size();
    FLastProgress = TClock::now();
    FPendingSeen = SIZE_MAX;
}

TIoStatus TSerialTransferRecord::Step(TSerialPort& port) {
    if (port.IsClosed()) {
        return Fail(EBADF);
    }
    if (Aborted(port)) {
        return Fail(ECANCELED);
    }
    if (FKind == TKind::tkRead) {
        if (!ReadWaiting(port)) {
            return Fail(errno);
        }
        if (ReadFinished()) {
            FRunning = false;
            FOutcome = TIoStatus::ioDone;
        }
        return FOutcome;
    }
    if (!SendUnsent(port)) {
        return Fail(errno);
    }
    const std::uint32_t queued = QueuedOutput(port);
    NoteWriteProgress(queued);
    if (FUnsentOffset == FUnsent.size() && queued == 0) {
        FRunning = false;
        FOutcome = TIoStatus::ioDone;
    } else if (WriteTimedOut()) {
        // A write that ran out of time ends with the bytes that left; what the driver still
        // holds is thrown away, so that nothing reported as unsent goes out later.
        if (queued > 0) {
            ::tcflush(port.Device(), TCOFLUSH);
            FDone -= std::min(queued, FDone);
        }
        FUnsentOffset = FUnsent.size();
        FRunning = false;
        FOutcome = TIoStatus::ioDone;
    }
    return FOutcome;
}

std::uint32_t TSerialTransferRecord::QueuedOutput(const TSerialPort& port) const {
    int queued = 0;
    if (::ioctl(port.Device(), TIOCOUTQ, &queued) != 0 || queued < 0) {
        return 0; // a device that cannot tell holds nothing back that we could wait for
    }
    return static_cast<std::uint32_t>(queued);
}

void TSerialTransferRecord::NoteWriteProgress(std::uint32_t queued) {
    const std::size_t pending = (FUnsent.size() - FUnsentOffset) + queued;
    if (pending < FPendingSeen) {
        FLastProgress = TClock::now();
    }
    FPendingSeen = pending;
}

bool TSerialTransferRecord::WriteTimedOut() const {
    if (FDeadline) {
        return DeadlinePassed();
    }
    return TClock::now() - FLastProgress >= kStalledWriteLimit;
}

bool TSerialTransferRecord::ReadWaiting(TSerialPort& port) {
    while (FDone < FRequested) {
        const ssize_t n = port.ReadInput(FReadBuffer + FDone, FRequested - FDone);
        if (n > 0) {
            FDone += static_cast<std::uint32_t>(n);
        } else if (n == 0) {
            errno = EIO; // end of file on a terminal: it hung up
            return false;
        } else if (errno == EAGAIN) {
            return true;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool TSerialTransferRecord::SendUnsent(TSerialPort& port) {
    const ssize_t sent =
        SendSome(port, FUnsent.data() + FUnsentOffset, FUnsent.size() - FUnsentOffset);
    if (sent < 0) {
        return false;
    }
    FUnsentOffset += static_cast<std::size_t>(sent);
    FDone += static_cast<std::uint32_t>(sent);
    return true;
}

bool TSerialTransferRecord::ReadFinished() const {
    return FDone == FRequested || (FAnyByteEnds && FDone > 0) || DeadlinePassed();
}

bool TSerialTransferRecord::DeadlinePassed() const {
    return FDeadline && TClock::now() >= *FDeadline;
}

bool TSerialTransferRecord::Aborted(const TSerialPort& port) const {
    const std::uint32_t aborts = FKind == TKind::tkRead ? port.ReadAborts() : port.WriteAborts();
    return aborts != FAbortsAtStart;
}

bool TSerialTransferRecord::WaitForDevice(const TSerialPort& port) const {
    int timeoutMs = -1;
    if (FDeadline) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*FDeadline - TClock::now());
        timeoutMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }
    short events = FKind == TKind::tkRead ? POLLIN : POLLOUT;
    if (FKind == TKind::tkWrite && FUnsentOffset == FUnsent.size()) {
        // Only the driver's queue is left: nothing wakes a poll when it drains.
        events = 0;
        timeoutMs = timeoutMs < 0 ? kDrainLookMs : std::min(timeoutMs, kDrainLookMs);
    } else if (!FDeadline && FKind == TKind::tkWrite) {
        timeoutMs = static_cast<int>(std::chrono::milliseconds(kStalledWriteLimit).count());
    }
    // A read also wakes when the event waiter took bytes ahead of it.
    std::array<pollfd, 2> watched{{
        {port.Device(), events, 0},
        {FKind == TKind::tkRead ? port.InputSignal() : -1, POLLIN, 0},
    }};
    if (::poll(watched.data(), watched.size(), timeoutMs) < 0) {
        return true; // interrupted: look again
    }
    if ((watched[1].revents & POLLIN) != 0) {
        port.TakeInputSignal();
    }
    return (watched[0].revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

TIoStatus TSerialTransferRecord::Fail(int errnoValue) {
    FRunning = false;
    FOutcome = TIoStatus::ioFailed;
    FErrno = errnoValue;
    FUnsentOffset = FUnsent.size();
    return FOutcome;
}

TIoStatus TSerialTransferRecord::Report(std::uint32_t& transferred) const {
    transferred = FDone;
    if (FOutcome == TIoStatus::ioFailed) {
        FailWith(FErrno);
    }
    return FOutcome;
}

} // namespace platform
