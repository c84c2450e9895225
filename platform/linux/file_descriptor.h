// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <unistd.h>
#include <utility>

namespace platform {

// Owns one file descriptor and closes it when it goes.
class TFileDescriptor {
public:
    TFileDescriptor() = default;
    explicit TFileDescriptor(int fd) : FFd(fd) {}
    ~TFileDescriptor() { Reset(); }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    TFileDescriptor(TFileDescriptor&& other) noexcept : FFd(std::exchange(other.FFd, -1)) {}
    TFileDescriptor& operator=(TFileDescriptor&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.FFd, -1));
        }
        return *this;
    }

    int Get() const { return FFd; }
    bool IsOpen() const { return FFd >= 0; }
    void Reset(int fd = -1) {
        if (FFd >= 0) {
            ::close(FFd);
        }
        FFd = fd;
    }

private:
    int FFd = -1;
};

} // namespace platform
