// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

namespace devlink {

// The device map is a directory of symbolic links named COM<n> and USB<i> to character
// devices; virtual ports register there. It lives at $XDG_RUNTIME_DIR/tessaro/devices/,
// or /tmp/tessaro-<uid>/devices/ where that variable is unset or empty.
std::filesystem::path DeviceMapDirectory();

// True when `directory` and the directory holding it both exist, are real directories
// (not links), are owned by this user and cannot be written by group or others; a map
// that fails this is ignored, so nobody else can plant or swap its links.
bool DeviceMapIsTrusted(const std::filesystem::path& directory);

// Creates `directory` and the directory holding it where missing, readable and writable
// by this user only; true when the map is trusted afterwards.
bool CreateDeviceMapDirectory(const std::filesystem::path& directory);

} // namespace devlink
