// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/device_map.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace devlink {

namespace {

// The directory a map path names, whether or not it was written with a trailing slash.
std::filesystem::path WithoutTrailingSlash(const std::filesystem::path& directory) {
    std::filesystem::path normal = directory.lexically_normal();
    return normal.has_filename() ? normal : normal.parent_path();
}

bool IsPrivateDirectory(const std::filesystem::path& directory) {
    struct stat info {};
    if (directory.empty() || ::lstat(directory.c_str(), &info) != 0) {
        return false;
    }
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool MakePrivateDirectory(const std::filesystem::path& directory) {
    return ::mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace

std::filesystem::path DeviceMapDirectory() {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir != nullptr && runtimeDir[0] != '\0') {
        return std::filesystem::path(runtimeDir) / "tessaro" / "devices";
    }
    return std::filesystem::path("/tmp") / ("tessaro-" + std::to_string(::getuid())) / "devices";
}

bool DeviceMapIsTrusted(const std::filesystem::path& directory) {
    const std::filesystem::path map = WithoutTrailingSlash(directory);
    return IsPrivateDirectory(map) && IsPrivateDirectory(map.parent_path());
}

bool CreateDeviceMapDirectory(const std::filesystem::path& directory) {
    const std::filesystem::path map = WithoutTrailingSlash(directory);
    return MakePrivateDirectory(map.parent_path()) && MakePrivateDirectory(map) &&
           DeviceMapIsTrusted(map);
}

} // namespace devlink
