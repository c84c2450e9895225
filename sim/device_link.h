// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace sim {

// A port registered in the device map: a symbolic link `name` in the map directory to the
// device the host should open. Removed again when the object ends, unless someone else
// has replaced it meanwhile.
class TDeviceLink {
public:
    // Creates the map directory (and the one holding it) private to this user where
    // missing, then the link. Refuses (nullptr, `error` set) when the map is not private
    // to this user, or `name` is already a link to a live character device or is not a
    // link at all; a link to a missing device is stale and replaced.
    static std::unique_ptr<TDeviceLink> Register(const std::filesystem::path& directory,
                                                 const std::string& name, const std::string& target,
                                                 std::string& error);
    ~TDeviceLink();
    TDeviceLink(const TDeviceLink&) = delete;
    TDeviceLink& operator=(const TDeviceLink&) = delete;

    const std::filesystem::path& Path() const { return FPath; }

private:
    TDeviceLink(std::filesystem::path path, std::string target);

    std::filesystem::path FPath;
    std::string FTarget;
};

} // namespace sim
