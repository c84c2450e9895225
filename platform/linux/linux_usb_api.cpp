#include "platform/linux/linux_usb_api.h"

#include "platform/linux/line_settings.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::int32_t kFailed = -1;

bool IsCharacterDevice(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISCHR(info.st_mode);
}

TFileDescriptor OpenExclusively(const std::filesystem::path& device) {
    TFileDescriptor fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.IsOpen() || !IsCharacterDevice(fd.Get()) || ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        return TFileDescriptor();
    }
    // A terminal standing in for the device (a virtual cutter) must pass bytes unchanged.
    if (::isatty(fd.Get()) && !MakeRawLine(fd.Get())) {
        return TFileDescriptor();
    }
    return fd;
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
    const auto freeSlot = std::find_if(FSlots.begin(), FSlots.end(),
                                       [](const TFileDescriptor& slot) { return !slot.IsOpen(); });
    if (freeSlot == FSlots.end()) {
        return kFailed;
    }
    const std::optional<std::filesystem::path> device = FTable.FindUsb(index);
    if (!device) {
        return kFailed;
    }
    TFileDescriptor fd = OpenExclusively(*device);
    if (!fd.IsOpen()) {
        return kFailed;
    }
    *freeSlot = std::move(fd);
    return static_cast<std::int32_t>(freeSlot - FSlots.begin()) + 1;
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
