// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/linux/last_error.h"
#include "platform/linux/linux_serial_api.h"
#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <string>
#include <termios.h>

namespace platform::test {

inline constexpr const char* kPortName = "COM200";

inline TPortTableRoots RootsWithoutHardware(const TTempDir& empty) {
    TPortTableRoots roots;
    roots.SysClassTty = empty.Path();
    return roots; // the device map comes from XDG_RUNTIME_DIR
}

// A pseudo-terminal registered as COM200 in a device map of the test's own, and the
// serial operations over it.
class TSerialPtyFixture : public ::testing::Test {
protected:
    TSerialPtyFixture() : FApi(TPortTable(RootsWithoutHardware(FNoHardware))) {
        FRuntime.Register("COM200", FPty.SlavePath());
    }

    devlink::THandle OpenPort() {
        const devlink::THandle handle = FApi.CreateFile(kPortName);
        EXPECT_NE(handle, devlink::kInvalidHandle) << std::strerror(LastErrno());
        return handle;
    }

    void SetReadRule(devlink::THandle handle) {
        devlink::TCommTimeouts timeouts;
        timeouts.ReadIntervalTimeout = devlink::kMaxDword;
        timeouts.ReadTotalTimeoutConstant = 1000;
        timeouts.WriteTotalTimeoutMultiplier = 2;
        ASSERT_TRUE(FApi.SetCommTimeouts(handle, timeouts));
    }

    // The whole read: started, then waited for.
    std::string Read(devlink::THandle handle, devlink::TTransferRecord& record,
                     std::uint32_t count) {
        std::string buffer(count, '\0');
        std::uint32_t transferred = 0;
        devlink::TIoStatus status =
            FApi.ReadFile(handle, record, buffer.data(), count, transferred);
        if (status == devlink::TIoStatus::ioPending) {
            status = FApi.GetOverlappedResult(handle, record, true, transferred);
        }
        EXPECT_EQ(status, devlink::TIoStatus::ioDone);
        buffer.resize(transferred);
        return buffer;
    }

    // The slave's line settings, as any other program would see them.
    termios SlaveSettings() const {
        TFileDescriptor slave(::open(FPty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
        termios settings{};
        EXPECT_EQ(::tcgetattr(slave.Get(), &settings), 0);
        return settings;
    }

    TScopedRuntimeDir FRuntime;
    TTempDir FNoHardware;
    TPtyPair FPty;
    TLinuxSerialApi FApi;
};

} // namespace platform::test
