#include "link/device_map.h"

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace link {

std::filesystem::path DeviceMapDirectory() {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir != nullptr && runtimeDir[0] != '\0') {
        return std::filesystem::path(runtimeDir) / "tessaro" / "devices";
    }
    return std::filesystem::path("/tmp") / ("tessaro-" + std::to_string(::getuid())) / "devices";
}

bool DeviceMapIsTrusted(const std::filesystem::path& directory) {
    struct stat info {};
    if (::lstat(directory.c_str(), &info) != 0) {
        return false;
    }
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace link
