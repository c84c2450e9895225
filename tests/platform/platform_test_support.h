// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/linux/file_descriptor.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace platform::test {

// A directory of its own under the system's temporary directory, removed at the end.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};

// Points XDG_RUNTIME_DIR at a private temporary directory for as long as it lives, so
// the device map is one of the test's own; the former value comes back at the end.
class TScopedRuntimeDir {
public:
    TScopedRuntimeDir();
    ~TScopedRuntimeDir();
    TScopedRuntimeDir(const TScopedRuntimeDir&) = delete;
    TScopedRuntimeDir& operator=(const TScopedRuntimeDir&) = delete;

    // Creates the map directory where missing and links `name` in it to `target`.
    void Register(const std::string& name, const std::filesystem::path& target) const;
    std::filesystem::path MapDirectory() const;

private:
    TTempDir FRoot;
    std::optional<std::string> FFormer;
};

// A pseudo-terminal pair: the test plays the far end on the master side.
class TPtyPair {
public:
    TPtyPair();

    const std::filesystem::path& SlavePath() const { return FSlavePath; }
    int Master() const { return FMaster.Get(); }
    void CloseMaster() { FMaster.Reset(); }

    void Send(const std::string& bytes) const;
    // What arrives on the master side until `count` bytes are there or `patience` passed.
    std::string Receive(std::size_t count,
                        std::chrono::milliseconds patience = std::chrono::seconds(5)) const;

private:
    TFileDescriptor FMaster;
    std::filesystem::path FSlavePath;
};

// The CPU time the calling thread has used.
std::chrono::nanoseconds ThreadCpuTime();

} // namespace platform::test
