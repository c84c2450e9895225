// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Child processes and private directories for the benchmarks that run real programs.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// A fresh directory of mode 0700 under /tmp, removed with everything in it at the end.
// As XDG_RUNTIME_DIR it gives a program a device map of its own.
class TPrivateDirectory {
public:
    explicit TPrivateDirectory(const std::string& prefix);
    ~TPrivateDirectory();
    TPrivateDirectory(const TPrivateDirectory&) = delete;
    TPrivateDirectory& operator=(const TPrivateDirectory&) = delete;

    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};

// A program started with its standard output and error going to a file (or /dev/null).
// Ended with SIGTERM, then SIGKILL if it lingers, and reaped when destroyed.
class TChildProcess {
public:
    TChildProcess(const std::vector<std::string>& arguments, const std::string& outputFile,
                  const std::vector<std::string>& extraEnvironment = {});
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    pid_t Pid() const { return FPid; }
    bool Running();
    // Ends the program and reaps it.
    void Stop();

private:
    pid_t FPid = -1;
};

// Waits until `path` exists (a symbolic link counts as soon as it is made).
bool WaitForPath(const std::filesystem::path& path, std::chrono::milliseconds timeout);

// A field of /proc/<pid>/status in KiB (VmHWM, VmRSS), or -1.
long StatusKib(pid_t pid, const std::string& field);

} // namespace bench
