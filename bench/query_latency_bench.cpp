// SPDX-License-Identifier: GPL-3.0-or-later
// tessaro-query against its floor: `tessaro-query --port COM77 size` run as a shell runs it,
// process start included, beside a raw client on the same pseudo-terminal that opens it,
// writes "OH;" and reads until the CR, both against one tessaro-vcutter, taking turns.
// Prints the median and the best of each and the ratio of the medians.
//
// Usage: query_latency_bench [--rounds N]

#include "bench/bench_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

using TClock = std::chrono::steady_clock;
using TMilliseconds = std::chrono::duration<double, std::milli>;

constexpr double kGoalRatio = 1.5;
constexpr int kReplyTimeoutMs = 2000;
constexpr const char* kPort = "COM77";

// Opens the port's device raw, sends the size query and reads until the CR; the time it
// took, or a negative time when no whole line came.
double RawExchangeMs(const std::string& device) {
    const auto started = TClock::now();
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    termios settings{};
    ::tcgetattr(fd, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(fd, TCSANOW, &settings);
    ::tcflush(fd, TCIOFLUSH);
    bool ended = ::write(fd, "OH;", 3) != 3;
    bool answered = false;
    while (!ended) {
        pollfd watched{fd, POLLIN, 0};
        if (::poll(&watched, 1, kReplyTimeoutMs) <= 0) {
            break;
        }
        char buffer[256];
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        answered = std::memchr(buffer, '\r', static_cast<std::size_t>(count)) != nullptr;
        ended = answered;
    }
    ::close(fd);
    return answered ? TMilliseconds(TClock::now() - started).count() : -1;
}

// Runs the program to its end; the time from spawn to exit, or negative unless it ended 0.
double ProgramRunMs(const std::vector<std::string>& arguments, char** environment) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto started = TClock::now();
    pid_t pid = -1;
    const int failed = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environment);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (failed != 0 || ::waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    const double took = TMilliseconds(TClock::now() - started).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took : -1;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void PrintRow(const char* name, const std::vector<double>& times) {
    std::printf("%-32s median %7.1f ms   best %7.1f ms\n", name, Median(times),
                *std::min_element(times.begin(), times.end()));
}

} // namespace

int main(int argc, char* argv[]) {
    int rounds = 20;
    if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0) {
        rounds = std::max(1, std::atoi(argv[2]));
    }
    const bench::TPrivateDirectory runtime("tessaro-query-bench");
    const std::string runtimeSetting = "XDG_RUNTIME_DIR=" + runtime.Path().string();
    bench::TChildProcess cutter({TESSARO_VCUTTER_PATH, "--com", "77"}, "/dev/null",
                                {runtimeSetting});
    const auto entry = runtime.Path() / "tessaro" / "devices" / kPort;
    if (!bench::WaitForPath(entry, std::chrono::seconds(10))) {
        std::fprintf(stderr, "tessaro-vcutter registered no %s\n", kPort);
        return 1;
    }
    const std::string device = std::filesystem::canonical(entry).string();
    ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    const std::vector<std::string> query = {TESSARO_QUERY_PATH, "--port", kPort, "size"};
    std::vector<double> raw;
    std::vector<double> shell;
    for (int round = 0; round < rounds; ++round) {
        const double rawMs = RawExchangeMs(device);
        const double shellMs = ProgramRunMs(query, environ);
        if (rawMs < 0 || shellMs < 0) {
            std::fprintf(stderr, "round %d: no answer (raw %.1f, tessaro-query %.1f)\n", round,
                         rawMs, shellMs);
            return 1;
        }
        raw.push_back(rawMs);
        shell.push_back(shellMs);
    }
    std::printf("%d rounds against tessaro-vcutter on %s\n", rounds, kPort);
    PrintRow("raw client (OH; until CR)", raw);
    PrintRow("tessaro-query --port COM77 size", shell);
    const double ratio = Median(shell) / Median(raw);
    std::printf("ratio of medians %.2f (goal at most %.1f): %s\n", ratio, kGoalRatio,
                ratio <= kGoalRatio ? "met" : "NOT met");
    return 0;
}
