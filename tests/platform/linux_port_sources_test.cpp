// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linux_port_sources.h"

#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace platform::test {
namespace {

namespace fs = std::filesystem;

class LinuxPortSources : public ::testing::Test {
protected:
    LinuxPortSources() {
        fs::create_directories(Sys());
        fs::create_directories(Dev());
    }

    fs::path Sys() const { return FRoot.Path() / "sys"; }
    fs::path Dev() const { return FRoot.Path() / "dev"; }

    void AddTty(const std::string& name, const fs::path& node = "/dev/null") const {
        fs::create_directories(Sys() / name);
        if (!fs::exists(Dev() / name)) {
            fs::create_symlink(node, Dev() / name);
        }
    }

    TLinuxPortSources Sources() const {
        TPortTableRoots roots;
        roots.SysClassTty = Sys();
        roots.DevDir = Dev();
        roots.SerialTypeQuery = [](const fs::path&, const fs::path&) {
            return TSerialTypeAnswer::stKnownType;
        };
        return TLinuxPortSources(TPortTable(roots));
    }

    TScopedRuntimeDir FRuntime;
    TTempDir FRoot;
};

TEST_F(LinuxPortSources, AnswersAsAnNtSystemOfVersionFive) {
    devlink::TOsVersionInfo info;
    ASSERT_TRUE(Sources().GetVersionEx(info));
    EXPECT_EQ(info.PlatformId, devlink::kVerPlatformWin32Nt);
    EXPECT_EQ(info.MajorVersion, 5u);
}

TEST_F(LinuxPortSources, HasNoPrintingSubsystemPortList) {
    std::vector<std::string> names{"left over"};
    EXPECT_FALSE(Sources().EnumPorts(names));
    EXPECT_TRUE(names.empty());
}

TEST_F(LinuxPortSources, ListsEveryPortInAscendingNumberWithItsDevice) {
    AddTty("ttyUSB0");
    AddTty("ttyS0");
    AddTty("ttyACM1");
    FRuntime.Register("COM5", "/dev/zero");
    FRuntime.Register("COM33", "/dev/full");
    std::vector<devlink::TSerialCommValue> values{{"stale", "COM99", ""}};
    ASSERT_TRUE(Sources().ReadSerialCommMap(values));
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0].Data, "COM1");
    EXPECT_EQ(values[0].DevicePath, (Dev() / "ttyS0").string());
    EXPECT_EQ(values[0].Name, (Dev() / "ttyS0").string());
    EXPECT_EQ(values[1].Data, "COM5");
    EXPECT_EQ(values[1].DevicePath, "/dev/zero");
    EXPECT_EQ(values[1].Name, (FRuntime.MapDirectory() / "COM5").string());
    EXPECT_EQ(values[2].Data, "COM33");
    EXPECT_EQ(values[2].DevicePath, "/dev/full");
    EXPECT_EQ(values[3].Data, "COM66");
    EXPECT_EQ(values[3].DevicePath, (Dev() / "ttyACM1").string());
}

TEST_F(LinuxPortSources, NamesTheDeviceOfAPortAndNothingForOtherText) {
    AddTty("ttyUSB1");
    TLinuxPortSources sources = Sources();
    EXPECT_EQ(sources.DevicePathOf("COM34"), (Dev() / "ttyUSB1").string());
    EXPECT_EQ(sources.DevicePathOf("\\\\.\\COM34"), "");
    EXPECT_EQ(sources.DevicePathOf("COM35"), "");
    EXPECT_EQ(sources.DevicePathOf((Dev() / "ttyUSB1").string()), "");
    EXPECT_EQ(sources.DeviceGroupOf("../ttyUSB1"), "");
}

TEST_F(LinuxPortSources, NamesTheDeviceOfAUsbEntry) {
    FRuntime.Register("USB1", "/dev/null");
    TLinuxPortSources sources = Sources();
    EXPECT_EQ(sources.DevicePathOf("USB1"), "/dev/null");
    for (const char* other : {"USB0", "USB", "USB1x", "usb1", "USB-1", "USB123"}) {
        EXPECT_EQ(sources.DevicePathOf(other), "") << other;
    }
}

TEST_F(LinuxPortSources, NamesTheGroupThatOwnsTheDeviceNode) {
    const group* dialout = ::getgrnam("dialout");
    if (::getuid() != 0 || dialout == nullptr) {
        GTEST_SKIP() << "needs root and a dialout group to make a device node";
    }
    const fs::path node = FRoot.Path() / "node";
    ASSERT_EQ(::mknod(node.c_str(), S_IFCHR | 0660, ::makedev(1, 3)), 0);
    ASSERT_EQ(::chown(node.c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(node.c_str(), 0660), 0) << "mknod's mode passes through the umask";
    AddTty("ttyUSB0", node);
    EXPECT_EQ(Sources().DeviceGroupOf("COM33"), "dialout");
    EXPECT_EQ(Sources().DeviceGroupOf("COM34"), "");
}

TEST_F(LinuxPortSources, NamesNoGroupThatCouldNotOpenTheDevice) {
    const group* dialout = ::getgrnam("dialout");
    if (::getuid() != 0 || dialout == nullptr) {
        GTEST_SKIP() << "needs root and a dialout group to make device nodes";
    }
    const fs::path ownerOnly = FRoot.Path() / "owner-only";
    ASSERT_EQ(::mknod(ownerOnly.c_str(), S_IFCHR | 0600, ::makedev(1, 3)), 0);
    ASSERT_EQ(::chown(ownerOnly.c_str(), 0, dialout->gr_gid), 0);
    const fs::path rootGroup = FRoot.Path() / "root-group";
    ASSERT_EQ(::mknod(rootGroup.c_str(), S_IFCHR | 0660, ::makedev(1, 3)), 0);
    ASSERT_EQ(::chown(rootGroup.c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(rootGroup.c_str(), 0660), 0);
    AddTty("ttyUSB0", ownerOnly);
    AddTty("ttyUSB1", rootGroup);
    EXPECT_EQ(Sources().DeviceGroupOf("COM33"), "");
    EXPECT_EQ(Sources().DeviceGroupOf("COM34"), "");
}

} // namespace
} // namespace platform::test
