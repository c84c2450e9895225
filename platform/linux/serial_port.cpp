#include "platform/linux/serial_port.h"

#include "platform/linux/line_settings.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>

namespace platform {

namespace {

// How long Close lets queued output go out before it discards the rest: long enough for
// a command at the cutter's rate, short enough that a line held by flow control does not
// hold the caller for the driver's own half-minute.
constexpr auto kCloseDrainLimit = std::chrono::milliseconds(500);
constexpr auto kCloseDrainStep = std::chrono::milliseconds(5);

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
    if (!fd.IsOpen() || !LockExclusively(fd.Get()) || !MakeRawLine(fd.Get())) {
        return nullptr;
    }
    TFileDescriptor closedSignal = MakeSignal();
    TFileDescriptor wakeSignal = MakeSignal();
    if (!closedSignal.IsOpen() || !wakeSignal.IsOpen()) {
        return nullptr;
    }
    // Last, so that no failure leaves the terminal marked exclusive.
    if (::ioctl(fd.Get(), TIOCEXCL) != 0) {
        return nullptr;
    }
    return std::make_shared<TSerialPort>(std::move(fd), std::move(closedSignal),
                                         std::move(wakeSignal));
}

TSerialPort::TSerialPort(TFileDescriptor device, TFileDescriptor closedSignal,
                         TFileDescriptor wakeSignal)
    : FDevice(std::move(device)), FClosedSignal(std::move(closedSignal)),
      FWakeSignal(std::move(wakeSignal)), FCountsSeen(ReadErrorCounts(FDevice.Get())) {}

TSerialPort::~TSerialPort() {
    Close();
}

void TSerialPort::Close() {
    if (FClosed.exchange(true)) {
        return;
    }
    Signal(FClosedSignal.Get());
    std::unique_lock use(FUseLock);
    DrainOutputBriefly();
    ::tcflush(FDevice.Get(), TCOFLUSH);
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
