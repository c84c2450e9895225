// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/serial_port.h"

#include "platform/linux/line_settings.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

// How long Close lets queued output go out before it discards the rest: long enough for
// a command at the cutter's rate, short enough that a line held by flow control does not
// hold the caller for the driver's own half-minute.
constexpr auto kCloseDrainLimit = std::chrono::milliseconds(500);
constexpr auto kCloseDrainStep = std::chrono::milliseconds(5);

// The read-ahead holds at most what the driver's own input queue would; beyond it, bytes
// wait in the driver.
constexpr std::size_t kReadAheadLimit = 4096;

void Signal(int eventFd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(eventFd, &one, sizeof one);
}

TFileDescriptor MakeSignal() {
    return TFileDescriptor(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
}

bool LockExclusively(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        return true;
    }
    if (errno == EWOULDBLOCK) {
        errno = EBUSY;
    }
    return false;
}

// A terminal keeps its queues and its output stop between openers; every open starts
// fresh, so nothing from before (a late reply, a pseudo-terminal's buffer) is read or
// sent, and output stopped by XOFF flows again.
bool StartFresh(int fd) {
    return ::tcflush(fd, TCIOFLUSH) == 0 && ::tcflow(fd, TCOON) == 0;
}

} // namespace

std::optional<TErrorCounts> ReadErrorCounts(int fd) {
    TErrorCounts counts{};
    if (::ioctl(fd, TIOCGICOUNT, &counts) != 0) {
        return std::nullopt;
    }
    return counts;
}

std::uint32_t CommErrorsBetween(const TErrorCounts& before, const TErrorCounts& after) {
    std::uint32_t errors = 0;
    if (after.frame != before.frame) {
        errors |= devlink::kCeFrame;
    }
    if (after.overrun != before.overrun) {
        errors |= devlink::kCeOverrun;
    }
    if (after.parity != before.parity) {
        errors |= devlink::kCeRxParity;
    }
    if (after.brk != before.brk) {
        errors |= devlink::kCeBreak;
    }
    if (after.buf_overrun != before.buf_overrun) {
        errors |= devlink::kCeRxOver;
    }
    return errors;
}

std::shared_ptr<TSerialPort> TSerialPort::Open(const std::filesystem::path& device) {
    TFileDescriptor fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.IsOpen() || !LockExclusively(fd.Get()) || !MakeRawLine(fd.Get()) ||
        !StartFresh(fd.Get())) {
        return nullptr;
    }
    TFileDescriptor closedSignal = MakeSignal();
    TFileDescriptor wakeSignal = MakeSignal();
    TFileDescriptor inputSignal = MakeSignal();
    if (!closedSignal.IsOpen() || !wakeSignal.IsOpen() || !inputSignal.IsOpen()) {
        return nullptr;
    }
    // Last, so that no failure leaves the terminal marked exclusive.
    if (::ioctl(fd.Get(), TIOCEXCL) != 0) {
        return nullptr;
    }
    return std::make_shared<TSerialPort>(std::move(fd), std::move(closedSignal),
                                         std::move(wakeSignal), std::move(inputSignal));
}

TSerialPort::TSerialPort(TFileDescriptor device, TFileDescriptor closedSignal,
                         TFileDescriptor wakeSignal, TFileDescriptor inputSignal)
    : FDevice(std::move(device)), FClosedSignal(std::move(closedSignal)),
      FWakeSignal(std::move(wakeSignal)), FInputSignal(std::move(inputSignal)),
      FCountsSeen(ReadErrorCounts(FDevice.Get())) {
    FReadAhead.reserve(kReadAheadLimit);
}

TSerialPort::~TSerialPort() {
    Close();
}

void TSerialPort::Close() {
    if (FClosed.exchange(true)) {
        return;
    }
    Signal(FClosedSignal.Get());
    std::unique_lock use(FUseLock);
    if (OutputHeld()) {
        // The next user of the line, this program or another, finds output flowing.
        ::tcflush(FDevice.Get(), TCOFLUSH);
        ::tcflow(FDevice.Get(), TCOON);
    }
    DrainOutputBriefly();
    DiscardHeldOutput();
    ::ioctl(FDevice.Get(), TIOCNXCL);
    FDevice.Reset();
}

void TSerialPort::DrainOutputBriefly() const {
    const auto giveUp = std::chrono::steady_clock::now() + kCloseDrainLimit;
    int queued = 0;
    while (::ioctl(FDevice.Get(), TIOCOUTQ, &queued) == 0 && queued > 0 &&
           std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(kCloseDrainStep);
    }
}

bool TSerialPort::DiscardHeldOutput() const {
    int queued = 0;
    if (::ioctl(FDevice.Get(), TIOCOUTQ, &queued) != 0 || queued <= 0) {
        return true;
    }
    return ::tcflush(FDevice.Get(), TCOFLUSH) == 0;
}

ssize_t TSerialPort::ReadInput(char* buffer, std::size_t count) {
    std::lock_guard lock(FInputLock);
    const std::size_t ahead = std::min(count, FReadAhead.size());
    std::copy_n(FReadAhead.begin(), ahead, buffer);
    FReadAhead.erase(FReadAhead.begin(), FReadAhead.begin() + static_cast<std::ptrdiff_t>(ahead));
    if (ahead == count) {
        return static_cast<ssize_t>(ahead);
    }
    ssize_t n = -1;
    do {
        n = ::read(FDevice.Get(), buffer + ahead, count - ahead);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        NoteConsumed(static_cast<std::uint64_t>(n));
        return static_cast<ssize_t>(ahead) + n;
    }
    return ahead > 0 ? static_cast<ssize_t>(ahead) : n;
}

bool TSerialPort::ReadAhead(char eventChar, bool& eventCharSeen) {
    eventCharSeen = false;
    std::lock_guard lock(FInputLock);
    const std::size_t before = FReadAhead.size();
    while (FReadAhead.size() < kReadAheadLimit) {
        char chunk[512];
        const std::size_t room = std::min(sizeof chunk, kReadAheadLimit - FReadAhead.size());
        const ssize_t n = ::read(FDevice.Get(), chunk, room);
        if (n > 0) {
            FReadAhead.insert(FReadAhead.end(), chunk, chunk + n);
            NoteConsumed(static_cast<std::uint64_t>(n));
        } else if (n == 0) {
            errno = EIO; // end of file on a terminal: it hung up
            return false;
        } else if (errno == EAGAIN) {
            break;
        } else if (errno != EINTR) {
            return false;
        }
    }
    if (FReadAhead.size() > before) {
        eventCharSeen = std::find(FReadAhead.begin() + static_cast<std::ptrdiff_t>(before),
                                  FReadAhead.end(), eventChar) != FReadAhead.end();
        Signal(FInputSignal.Get());
    }
    return true;
}

bool TSerialPort::InputWaiting(std::uint32_t& count) {
    std::lock_guard lock(FInputLock);
    int queued = 0;
    if (::ioctl(FDevice.Get(), TIOCINQ, &queued) != 0) {
        return false;
    }
    count = static_cast<std::uint32_t>(queued) + static_cast<std::uint32_t>(FReadAhead.size());
    return true;
}

bool TSerialPort::DiscardInput() {
    std::lock_guard lock(FInputLock);
    FReadAhead.clear();
    int discarded = 0;
    if (::ioctl(FDevice.Get(), TIOCINQ, &discarded) == 0) {
        NoteConsumed(static_cast<std::uint64_t>(discarded));
    }
    return ::tcflush(FDevice.Get(), TCIFLUSH) == 0;
}

void TSerialPort::TakeInputSignal() const {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(FInputSignal.Get(), &count, sizeof count);
}

void TSerialPort::NoteWritten(std::uint64_t count) {
    FBytesWritten.fetch_add(count);
    Signal(FWakeSignal.Get());
}

devlink::TCommTimeouts TSerialPort::Timeouts() const {
    std::lock_guard lock(FStateLock);
    return FTimeouts;
}

void TSerialPort::SetTimeouts(const devlink::TCommTimeouts& timeouts) {
    std::lock_guard lock(FStateLock);
    FTimeouts = timeouts;
}

devlink::TDcb TSerialPort::Dcb() const {
    std::lock_guard lock(FStateLock);
    return FDcb;
}

void TSerialPort::SetDcb(const devlink::TDcb& dcb) {
    std::lock_guard lock(FStateLock);
    FDcb = dcb;
}

std::uint32_t TSerialPort::TakeLineErrors() {
    const std::optional<TErrorCounts> now = ReadErrorCounts(FDevice.Get());
    std::lock_guard lock(FStateLock);
    const std::uint32_t errors = (now && FCountsSeen) ? CommErrorsBetween(*FCountsSeen, *now) : 0;
    if (now) {
        FCountsSeen = now;
    }
    return errors;
}

} // namespace platform
