// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/bench_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <thread>

extern char** environ;

namespace bench {

namespace {

constexpr auto kPollStep = std::chrono::milliseconds(5);
constexpr auto kStopGrace = std::chrono::seconds(5);

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& extra) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const std::string& added : extra) {
            replaced = replaced || added.substr(0, added.find('=')) == name;
        }
        if (!replaced) {
            entries.push_back(text);
        }
    }
    entries.insert(entries.end(), extra.begin(), extra.end());
    return entries;
}

std::vector<char*> PointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

TPrivateDirectory::TPrivateDirectory(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    FPath = pattern;
    chmod(FPath.c_str(), 0700);
}

TPrivateDirectory::~TPrivateDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}

TChildProcess::TChildProcess(const std::vector<std::string>& arguments,
                             const std::string& outputFile,
                             const std::vector<std::string>& extraEnvironment) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const char* target = outputFile.empty() ? "/dev/null" : outputFile.c_str();
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, target, O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::vector<std::string> argumentTexts = arguments;
    std::vector<std::string> environmentTexts = EnvironmentWith(extraEnvironment);
    std::vector<char*> argv = PointersTo(argumentTexts);
    std::vector<char*> envp = PointersTo(environmentTexts);
    const int error = posix_spawn(&FPid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        FPid = -1;
        throw std::system_error(error, std::generic_category(), "cannot start " + arguments[0]);
    }
}

TChildProcess::~TChildProcess() {
    Stop();
}

bool TChildProcess::Running() {
    if (FPid <= 0) {
        return false;
    }
    int status = 0;
    if (waitpid(FPid, &status, WNOHANG) == FPid) {
        FPid = -1;
        return false;
    }
    return true;
}

void TChildProcess::Stop() {
    if (!Running()) {
        return;
    }
    kill(FPid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
    while (Running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kPollStep);
    }
    if (Running()) {
        kill(FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
        FPid = -1;
    }
}

bool WaitForPath(const std::filesystem::path& path, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::error_code ignored;
    while (!std::filesystem::exists(std::filesystem::symlink_status(path, ignored))) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    return true;
}

long StatusKib(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::string key = field + ":";
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::strtol(line.c_str() + key.size(), nullptr, 10);
        }
    }
    return -1;
}

} // namespace bench
