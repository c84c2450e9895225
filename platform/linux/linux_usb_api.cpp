// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linux_usb_api.h"

#include "platform/linux/last_error.h"
#include "platform/linux/line_settings.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::int32_t kFailed = -1;
constexpr int kDiscardReadLimit = 128;

// The printer class's ioctl for the IEEE 1284 device ID (drivers/usb/class/usblp.c).
constexpr std::size_t kDeviceIdCapacity = 1024;
constexpr unsigned long kGetDeviceId = _IOC(_IOC_READ, 'P', 1, kDeviceIdCapacity);

bool IsCharacterDevice(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISCHR(info.st_mode);
}

// Reads and drops what the device kept from before: a reply that came after its asker
// gave up must not answer the next question. Bounded, for a device that keeps talking.
bool DiscardPendingInput(int fd) {
    if (::isatty(fd)) {
        return ::tcflush(fd, TCIFLUSH) == 0;
    }
    std::array<char, 512> scrap{};
    for (int reads = 0; reads < kDiscardReadLimit; ++reads) {
        const ssize_t n = ::read(fd, scrap.data(), scrap.size());
        if (n == 0 || (n < 0 && errno != EINTR)) {
            return n == 0 || errno == EAGAIN;
        }
    }
    return true;
}

// errno tells why when it returns no descriptor (EBUSY when another program holds it).
TFileDescriptor OpenExclusively(const std::filesystem::path& device) {
    TFileDescriptor fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.IsOpen()) {
        return fd;
    }
    if (!IsCharacterDevice(fd.Get())) {
        errno = ENODEV;
        return TFileDescriptor();
    }
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        errno = errno == EWOULDBLOCK ? EBUSY : errno;
        return TFileDescriptor();
    }
    // A terminal standing in for the device (a virtual cutter) must pass bytes unchanged.
    if ((::isatty(fd.Get()) && !MakeRawLine(fd.Get())) || !DiscardPendingInput(fd.Get())) {
        return TFileDescriptor();
    }
    return fd;
}

// The ID is a 16-bit big-endian length (itself included) and text; only its printable
// characters are kept.
std::string DeviceIdText(const std::array<unsigned char, kDeviceIdCapacity>& reply) {
    const std::size_t length =
        std::min<std::size_t>((std::size_t{reply[0]} << 8) | reply[1], reply.size());
    std::string id;
    for (std::size_t at = 2; at < length; ++at) {
        if (reply[at] >= 0x20 && reply[at] < 0x7F) {
            id.push_back(static_cast<char>(reply[at]));
        }
    }
    return id;
}

// False when the device hung up or failed.
bool WaitWritable(int fd, std::chrono::steady_clock::time_point giveUp) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(giveUp - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        return false;
    }
    pollfd device{fd, POLLOUT, 0};
    const int ready = ::poll(&device, 1, static_cast<int>(left.count()));
    return ready >= 0 && (device.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

} // namespace

TLinuxUsbApi::TLinuxUsbApi(TPortTable table) : FTable(std::move(table)) {}

std::int32_t TLinuxUsbApi::UsbOpenDevice(std::int32_t index) {
    FLastOpenError = devlink::TLinkError::leNone;
    const auto freeSlot = std::find_if(FSlots.begin(), FSlots.end(),
                                       [](const TFileDescriptor& slot) { return !slot.IsOpen(); });
    if (freeSlot == FSlots.end()) {
        FLastOpenError = LinkErrorOf(EMFILE);
        return kFailed;
    }
    TFileDescriptor fd = OpenDevice(index);
    if (!fd.IsOpen()) {
        FLastOpenError = LinkErrorOf(errno);
        return kFailed;
    }
    const auto slot = static_cast<std::size_t>(freeSlot - FSlots.begin());
    FSlots[slot] = std::move(fd);
    FSlotIndexes[slot] = index;
    return static_cast<std::int32_t>(slot) + 1;
}

// A device this object holds is shared with the new handle (the lock stays with it) and
// keeps what waits on it; any other is opened afresh.
TFileDescriptor TLinuxUsbApi::OpenDevice(std::int32_t index) const {
    const std::optional<std::filesystem::path> device = FTable.FindUsb(index);
    if (!device) {
        errno = ENOENT;
        return TFileDescriptor();
    }
    const int held = HeldDeviceOf(index);
    if (held >= 0) {
        return TFileDescriptor(::fcntl(held, F_DUPFD_CLOEXEC, 0));
    }
    return OpenExclusively(*device);
}

devlink::TLinkError TLinuxUsbApi::UsbLastOpenError() {
    return FLastOpenError;
}

std::string TLinuxUsbApi::UsbDeviceId(std::int32_t index) {
    int fd = HeldDeviceOf(index);
    TFileDescriptor ownOpen;
    if (fd < 0) {
        const std::optional<std::filesystem::path> device = FTable.FindUsb(index);
        if (!device) {
            return {};
        }
        ownOpen =
            TFileDescriptor(::open(device->c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        fd = ownOpen.Get();
    }
    std::array<unsigned char, kDeviceIdCapacity> reply{};
    if (fd < 0 || ::ioctl(fd, kGetDeviceId, reply.data()) < 0) {
        return {};
    }
    return DeviceIdText(reply);
}

int TLinuxUsbApi::HeldDeviceOf(std::int32_t index) const {
    for (std::size_t slot = 0; slot < FSlots.size(); ++slot) {
        if (FSlots[slot].IsOpen() && FSlotIndexes[slot] == index) {
            return FSlots[slot].Get();
        }
    }
    return -1;
}

std::int32_t TLinuxUsbApi::UsbCloseDevice(std::int32_t handle) {
    if (DeviceOf(handle) < 0) {
        return kFailed;
    }
    FSlots[static_cast<std::size_t>(handle - 1)].Reset();
    return 0;
}

std::int32_t TLinuxUsbApi::UsbSend(std::int32_t handle, const char* data, std::int32_t count) {
    const int fd = DeviceOf(handle);
    if (fd < 0 || count < 0 || (data == nullptr && count > 0)) {
        return kFailed;
    }
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSendLimitMs);
    std::int32_t sent = 0;
    while (sent < count) {
        const ssize_t n = ::write(fd, data + sent, static_cast<std::size_t>(count - sent));
        if (n > 0) {
            sent += static_cast<std::int32_t>(n);
        } else if (n == 0 || errno == EAGAIN) {
            if (!WaitWritable(fd, giveUp)) {
                return kFailed;
            }
        } else if (errno != EINTR) {
            return kFailed;
        }
    }
    return sent;
}

std::int32_t TLinuxUsbApi::UsbReceiveCheck(std::int32_t handle, std::uint32_t* count) {
    const int fd = DeviceOf(handle);
    if (fd < 0) {
        return kFailed;
    }
    pollfd device{fd, POLLIN, 0};
    if (::poll(&device, 1, 0) <= 0 || (device.revents & POLLIN) == 0) {
        return kFailed;
    }
    int waiting = 0;
    if (::ioctl(fd, FIONREAD, &waiting) != 0) {
        waiting = 0;
    }
    // A hung-up device stays readable for ever; only bytes still queued count then.
    if ((device.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && waiting <= 0) {
        return kFailed;
    }
    if (count != nullptr) {
        *count = static_cast<std::uint32_t>(std::max(waiting, 0));
    }
    return 0;
}

std::int32_t TLinuxUsbApi::UsbReceive(std::int32_t handle, char* buffer, std::int32_t capacity,
                                      std::uint32_t* count) {
    const int fd = DeviceOf(handle);
    if (fd < 0 || buffer == nullptr || capacity < 0 || count == nullptr) {
        return kFailed;
    }
    ssize_t n = -1;
    do {
        n = ::read(fd, buffer, static_cast<std::size_t>(capacity));
    } while (n < 0 && errno == EINTR);
    if (n < 0 && errno == EAGAIN) {
        *count = 0;
        return 0;
    }
    if (n <= 0 && capacity > 0) {
        return kFailed; // end of file or a failure: the device is gone
    }
    *count = static_cast<std::uint32_t>(std::max<ssize_t>(n, 0));
    return 0;
}

int TLinuxUsbApi::DeviceOf(std::int32_t handle) const {
    if (handle < 1 || handle > kSlotCount) {
        return -1;
    }
    return FSlots[static_cast<std::size_t>(handle - 1)].Get();
}

} // namespace platform
