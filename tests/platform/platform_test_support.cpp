// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform_test_support.h"

#include "link/device_map.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>

namespace platform::test {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what);
}

} // namespace

TTempDir::TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessaro-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        Fail("mkdtemp");
    }
    FPath = pattern;
}

TTempDir::~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}

TScopedRuntimeDir::TScopedRuntimeDir() {
    if (const char* former = std::getenv("XDG_RUNTIME_DIR")) {
        FFormer = former;
    }
    ::chmod(FRoot.Path().c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", FRoot.Path().c_str(), 1);
}

TScopedRuntimeDir::~TScopedRuntimeDir() {
    if (FFormer) {
        ::setenv("XDG_RUNTIME_DIR", FFormer->c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
}

void TScopedRuntimeDir::Register(const std::string& name,
                                 const std::filesystem::path& target) const {
    if (!devlink::CreateDeviceMapDirectory(MapDirectory())) {
        Fail("device map directory");
    }
    std::filesystem::create_symlink(target, MapDirectory() / name);
}

std::filesystem::path TScopedRuntimeDir::MapDirectory() const {
    return FRoot.Path() / "tessaro" / "devices";
}

TPtyPair::TPtyPair() : FMaster(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK)) {
    char slavePath[128] = {};
    if (!FMaster.IsOpen() || ::grantpt(FMaster.Get()) != 0 || ::unlockpt(FMaster.Get()) != 0 ||
        ::ptsname_r(FMaster.Get(), slavePath, sizeof slavePath) != 0) {
        Fail("pseudo-terminal");
    }
    FSlavePath = slavePath;
    termios settings{};
    ::tcgetattr(FMaster.Get(), &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(FMaster.Get(), TCSANOW, &settings);
}

void TPtyPair::Send(const std::string& bytes) const {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(FMaster.Get(), bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd master{FMaster.Get(), POLLOUT, 0};
            ::poll(&master, 1, 100);
        } else if (n < 0 && errno != EINTR) {
            Fail("writing to the pseudo-terminal");
        }
    }
}

std::string TPtyPair::Receive(std::size_t count, std::chrono::milliseconds patience) const {
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    std::string received;
    char buffer[4096];
    while (received.size() < count && std::chrono::steady_clock::now() < giveUp) {
        pollfd master{FMaster.Get(), POLLIN, 0};
        ::poll(&master, 1, 20);
        const ssize_t n = ::read(FMaster.Get(), buffer, sizeof buffer);
        if (n > 0) {
            received.append(buffer, static_cast<std::size_t>(n));
        }
    }
    return received;
}

std::chrono::nanoseconds ThreadCpuTime() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

} // namespace platform::test
