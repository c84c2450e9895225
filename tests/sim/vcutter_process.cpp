// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/sim/vcutter_process.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace sim::test {
namespace {

using TClock = std::chrono::steady_clock;

int RemainingMs(TClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<TMilliseconds>(deadline - TClock::now());
    return int(std::max<TMilliseconds::rep>(left.count(), 0));
}

std::vector<std::string> EnvironmentWith(const std::string& runtimeDirectory) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::string(*entry).rfind("XDG_RUNTIME_DIR=", 0) != 0) {
            environment.emplace_back(*entry);
        }
    }
    environment.push_back("XDG_RUNTIME_DIR=" + runtimeDirectory);
    return environment;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

TRuntimeDirectory::TRuntimeDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vcutter-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) {
        FPath = pattern;
    }
}

TRuntimeDirectory::~TRuntimeDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}

TVCutterProcess::TVCutterProcess(const TRuntimeDirectory& runtime,
                                 const std::vector<std::string>& arguments)
    : FErrorFile(runtime.Path() / ("stderr-" + std::to_string(::getpid()) + "-" +
                                   std::to_string(TClock::now().time_since_epoch().count()))) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, FErrorFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> argv{TESSARO_VCUTTER_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment = EnvironmentWith(runtime.Path().string());
    std::vector<char*> argvPointers = Pointers(argv);
    std::vector<char*> environmentPointers = Pointers(environment);
    if (::posix_spawn(&FPid, argv[0].c_str(), &actions, nullptr, argvPointers.data(),
                      environmentPointers.data()) != 0) {
        FPid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    FTranscriptPipe = pipeEnds[0];
    ::fcntl(FTranscriptPipe, F_SETFL, O_NONBLOCK);
}

TVCutterProcess::~TVCutterProcess() {
    if (WaitForExit(TMilliseconds(0)) < 0 && FPid > 0) {
        ::kill(FPid, SIGKILL);
        ::waitpid(FPid, nullptr, 0);
    }
    if (FTranscriptPipe >= 0) {
        ::close(FTranscriptPipe);
    }
}

void TVCutterProcess::ReadTranscript(TMilliseconds timeout) {
    pollfd descriptor{FTranscriptPipe, POLLIN, 0};
    if (::poll(&descriptor, 1, int(timeout.count())) <= 0) {
        return;
    }
    char bytes[4096];
    const ssize_t count = ::read(FTranscriptPipe, bytes, sizeof bytes);
    if (count > 0) {
        FTranscript.append(bytes, std::size_t(count));
    } else if (count == 0) {
        // The program closed its end; keep the pipe from reporting readiness again.
        ::close(FTranscriptPipe);
        FTranscriptPipe = -1;
    }
}

bool TVCutterProcess::WaitForLine(const std::string& text, TMilliseconds timeout) {
    const auto deadline = TClock::now() + timeout;
    while (FTranscript.find(text) == std::string::npos) {
        if (FTranscriptPipe < 0 || TClock::now() >= deadline) {
            return false;
        }
        ReadTranscript(TMilliseconds(RemainingMs(deadline)));
    }
    return true;
}

std::string TVCutterProcess::Errors() const {
    std::ifstream file(FErrorFile);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void TVCutterProcess::Signal(int signal) {
    if (FPid > 0) {
        ::kill(FPid, signal);
    }
}

int TVCutterProcess::WaitForExit(TMilliseconds timeout) {
    const auto deadline = TClock::now() + timeout;
    while (FPid > 0 && FExitStatus < 0) {
        int status = 0;
        const pid_t ended = ::waitpid(FPid, &status, WNOHANG);
        if (ended == FPid) {
            FExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (TClock::now() >= deadline) {
            break;
        }
        if (FTranscriptPipe >= 0) {
            ReadTranscript(TMilliseconds(std::min(RemainingMs(deadline), 20)));
        } else {
            ::usleep(10000);
        }
    }
    while (FTranscriptPipe >= 0 && FExitStatus >= 0) {
        ReadTranscript(TMilliseconds(100));
    }
    return FExitStatus;
}

TTermiosClient::TTermiosClient(const std::filesystem::path& device) {
    FDescriptor = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (FDescriptor < 0) {
        return;
    }
    termios settings{};
    ::tcgetattr(FDescriptor, &settings);
    ::cfmakeraw(&settings);
    ::cfsetspeed(&settings, B9600);
    ::tcsetattr(FDescriptor, TCSANOW, &settings);
}

TTermiosClient::~TTermiosClient() {
    if (FDescriptor >= 0) {
        ::close(FDescriptor);
    }
}

void TTermiosClient::Write(const std::string& bytes) {
    const auto deadline = TClock::now() + TMilliseconds(10000);
    std::size_t done = 0;
    while (FDescriptor >= 0 && done < bytes.size() && TClock::now() < deadline) {
        const ssize_t count = ::write(FDescriptor, bytes.data() + done, bytes.size() - done);
        if (count > 0) {
            done += std::size_t(count);
        } else if (count < 0 && errno == EAGAIN) {
            pollfd descriptor{FDescriptor, POLLOUT, 0};
            ::poll(&descriptor, 1, RemainingMs(deadline));
        } else {
            return;
        }
    }
}

std::vector<TTermiosClient::TArrival> TTermiosClient::Read(std::size_t count,
                                                           TMilliseconds timeout) {
    std::vector<TArrival> arrivals;
    const auto deadline = TClock::now() + timeout;
    while (FDescriptor >= 0 && arrivals.size() < count && !FHungUp) {
        pollfd descriptor{FDescriptor, POLLIN, 0};
        if (::poll(&descriptor, 1, RemainingMs(deadline)) <= 0) {
            break;
        }
        char bytes[256];
        const ssize_t got =
            ::read(FDescriptor, bytes, std::min(sizeof bytes, count - arrivals.size()));
        const auto now = TClock::now();
        if (got > 0) {
            for (ssize_t i = 0; i < got; ++i) {
                arrivals.push_back({bytes[i], now});
            }
        } else if (got == 0 || errno != EAGAIN) {
            FHungUp = true;
        }
    }
    return arrivals;
}

std::string TextOf(const std::vector<TTermiosClient::TArrival>& arrivals) {
    std::string text;
    for (const auto& arrival : arrivals) {
        text.push_back(arrival.Byte);
    }
    return text;
}

} // namespace sim::test
