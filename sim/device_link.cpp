// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/device_link.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {
namespace {

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool IsPrivateDirectory(const std::filesystem::path& directory) {
    struct stat info {};
    return ::lstat(directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool MakePrivateDirectory(const std::filesystem::path& directory, std::string& error) {
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        error = SystemError("cannot create " + directory.string());
        return false;
    }
    if (!IsPrivateDirectory(directory)) {
        error = directory.string() +
                " must be a directory owned by this user and writable by nobody else";
        return false;
    }
    return true;
}

std::string LinkTarget(const std::filesystem::path& path) {
    char target[4096];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    return length < 0 ? std::string() : std::string(target, std::size_t(length));
}

// Removes a stale link at `path`; false with `error` set when the place is taken.
bool ClearPlace(const std::filesystem::path& path, std::string& error) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return true;
    }
    if (!S_ISLNK(info.st_mode)) {
        error = path.string() + " exists and is not a link; remove it first";
        return false;
    }
    struct stat device {};
    if (::stat(path.c_str(), &device) == 0 && S_ISCHR(device.st_mode)) {
        error = path.filename().string() + " is registered already, for the live device " +
                LinkTarget(path) + "; choose another number or end what registered it";
        return false;
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        error = SystemError("cannot remove the stale link " + path.string());
        return false;
    }
    return true;
}

} // namespace

std::unique_ptr<TDeviceLink> TDeviceLink::Register(const std::filesystem::path& directory,
                                                   const std::string& name,
                                                   const std::string& target, std::string& error) {
    const std::filesystem::path map = directory.lexically_normal();
    const std::filesystem::path folder = map.has_filename() ? map : map.parent_path();
    if (!MakePrivateDirectory(folder.parent_path(), error) ||
        !MakePrivateDirectory(folder, error)) {
        return nullptr;
    }
    const std::filesystem::path path = folder / name;
    if (!ClearPlace(path, error)) {
        return nullptr;
    }
    // symlink() fails when another program took the place since: never overwrite.
    if (::symlink(target.c_str(), path.c_str()) != 0) {
        error = SystemError("cannot create " + path.string());
        return nullptr;
    }
    return std::unique_ptr<TDeviceLink>(new TDeviceLink(path, target));
}

TDeviceLink::TDeviceLink(std::filesystem::path path, std::string target)
    : FPath(std::move(path)), FTarget(std::move(target)) {}

TDeviceLink::~TDeviceLink() {
    if (LinkTarget(FPath) == FTarget) {
        ::unlink(FPath.c_str());
    }
}

} // namespace sim
