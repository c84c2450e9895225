// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/device_map.h"

#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::test {
namespace {

namespace fs = std::filesystem;

TEST(DeviceMapDirectory, LivesInTheRuntimeDirectoryOrElseInAPerUserTmpDirectory) {
    const TScopedRuntimeDir runtime;
    const std::string runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(devlink::DeviceMapDirectory(), fs::path(runtimeDir) / "tessaro" / "devices");
    const fs::path fallback =
        fs::path("/tmp") / ("tessaro-" + std::to_string(::getuid())) / "devices";
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(devlink::DeviceMapDirectory(), fallback);
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(devlink::DeviceMapDirectory(), fallback);
}

class DeviceMapTrust : public ::testing::Test {
protected:
    DeviceMapTrust() {
        ::chmod(FRoot.Path().c_str(), 0700);
        EXPECT_TRUE(devlink::CreateDeviceMapDirectory(Map()));
    }
    fs::path Parent() const { return FRoot.Path() / "tessaro"; }
    fs::path Map() const { return Parent() / "devices"; }

    TTempDir FRoot;
};

TEST_F(DeviceMapTrust, CreatedMapIsPrivateAndTrusted) {
    struct stat info {};
    ASSERT_EQ(::stat(Map().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(Parent().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(devlink::DeviceMapIsTrusted(Map()));
    EXPECT_TRUE(devlink::DeviceMapIsTrusted(Map().string() + "/"));
}

TEST_F(DeviceMapTrust, ReadableByOthersIsStillTrusted) {
    ::chmod(Map().c_str(), 0755);
    ::chmod(Parent().c_str(), 0755);
    EXPECT_TRUE(devlink::DeviceMapIsTrusted(Map()));
}

TEST_F(DeviceMapTrust, RefusesAMapOrParentThatGroupOrOthersCanWrite) {
    for (const fs::path& directory : {Map(), Parent()}) {
        for (mode_t mode : {0770, 0702, 0777, 01777}) {
            ::chmod(directory.c_str(), mode);
            EXPECT_FALSE(devlink::DeviceMapIsTrusted(Map()))
                << directory << " " << std::oct << mode;
        }
        ::chmod(directory.c_str(), 0700);
    }
    EXPECT_TRUE(devlink::DeviceMapIsTrusted(Map()));
}

TEST_F(DeviceMapTrust, RefusesAMapThatIsALinkOrNoDirectory) {
    const fs::path linked = Parent() / "linked";
    fs::create_directory_symlink(Map(), linked);
    EXPECT_FALSE(devlink::DeviceMapIsTrusted(linked));
    const fs::path file = Parent() / "file";
    std::ofstream(file.string()) << "";
    ::chmod(file.c_str(), 0600);
    EXPECT_FALSE(devlink::DeviceMapIsTrusted(file));
    EXPECT_FALSE(devlink::DeviceMapIsTrusted(Parent() / "missing"));
    EXPECT_FALSE(devlink::DeviceMapIsTrusted("devices"));
}

TEST_F(DeviceMapTrust, RefusesAMapOrParentOwnedBySomeoneElse) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "only root can give a directory away";
    }
    constexpr uid_t kSomeoneElse = 65534;
    for (const fs::path& directory : {Map(), Parent()}) {
        ASSERT_EQ(::chown(directory.c_str(), kSomeoneElse, kSomeoneElse), 0);
        EXPECT_FALSE(devlink::DeviceMapIsTrusted(Map())) << directory;
        EXPECT_FALSE(devlink::CreateDeviceMapDirectory(Map())) << directory;
        ASSERT_EQ(::chown(directory.c_str(), 0, 0), 0);
    }
}

} // namespace
} // namespace platform::test
