#pragma once

#include <filesystem>

namespace link {

// The device map is a directory of symbolic links named COM<n> and USB<i> to character
// devices; virtual ports register there. It lives at $XDG_RUNTIME_DIR/tessaro/devices/,
// or /tmp/tessaro-<uid>/devices/ where that variable is unset or empty.
std::filesystem::path DeviceMapDirectory();

// True when `directory` exists, is a real directory (not a link), is owned by this user
// and cannot be written by group or others; a map that fails this is ignored.
bool DeviceMapIsTrusted(const std::filesystem::path& directory);

} // namespace link
