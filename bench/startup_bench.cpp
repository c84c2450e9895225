// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and memory: the time from exec to the program's first window mapped, and the
// program's peak resident memory (VmHWM) once it has settled, for Tessaro beside an empty
// Qt window of the same size, taking turns at starting first, several rounds. A third
// program, the same window with one line of text, shows what drawing any text costs
// (fontconfig, FreeType, HarfBuzz and a font), which the empty window never pays.
//
// Usage: startup_bench [--rounds N] [--settle MS] [TESSARO EMPTY_WINDOW TEXT_WINDOW]
// Run it in an X server with no window manager (xvfb-run): it watches the root window for
// the map of a window whose _NET_WM_PID is the started program.

#include "bench/bench_process.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

// Goals against the window with one line of text: any Qt program that draws text pays for
// fontconfig, FreeType and HarfBuzz, so that is the fair yardstick.
constexpr double kGoalTimeRatio = 1.2;
constexpr long kGoalMemoryAllowanceKib = 4096;
constexpr int kMapTimeoutMs = 30000;

struct TOptions {
    int Rounds = 10;
    int SettleMs = 1500;
    std::vector<std::string> Programs{TESSARO_PATH, EMPTY_WINDOW_PATH, TEXT_WINDOW_PATH};
};

const char* const kProgramNames[] = {"tessaro", "empty", "text"};
constexpr std::size_t kProgramCount = 3;

std::optional<TOptions> ParseOptions(int argc, char** argv) {
    TOptions options;
    std::vector<std::string> programs;
    for (int index = 1; index < argc; ++index) {
        const std::string argument = argv[index];
        if ((argument == "--rounds" || argument == "--settle") && index + 1 < argc) {
            (argument == "--rounds" ? options.Rounds : options.SettleMs) =
                std::max(1, std::atoi(argv[++index]));
        } else if (argument.rfind("--", 0) == 0) {
            return std::nullopt;
        } else {
            programs.push_back(argument);
        }
    }
    if (programs.size() == kProgramCount) {
        options.Programs = programs;
    } else if (!programs.empty()) {
        return std::nullopt;
    }
    return options;
}

struct TFreeReply {
    void operator()(void* reply) const { std::free(reply); }
};

// The X connection, listening to windows being mapped on the root window.
class TMapWatch {
public:
    TMapWatch() : FConnection(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(FConnection) != 0) {
            return;
        }
        FRoot = xcb_setup_roots_iterator(xcb_get_setup(FConnection)).data->root;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(FConnection, FRoot, XCB_CW_EVENT_MASK, &mask);
        FPidAtom = InternAtom("_NET_WM_PID");
        xcb_flush(FConnection);
    }
    ~TMapWatch() { xcb_disconnect(FConnection); }
    TMapWatch(const TMapWatch&) = delete;
    TMapWatch& operator=(const TMapWatch&) = delete;

    bool Connected() const { return xcb_connection_has_error(FConnection) == 0; }

    // Forgets the maps of earlier programs.
    void Drain() {
        while (std::unique_ptr<xcb_generic_event_t, TFreeReply> event{
            xcb_poll_for_event(FConnection)}) {
        }
    }

    // When a top-level window of `pid` was mapped; the time is taken as the event is read.
    std::optional<TClock::time_point> WaitForMap(pid_t pid, int timeoutMs) {
        const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
        while (TClock::now() < deadline) {
            std::unique_ptr<xcb_generic_event_t, TFreeReply> event{xcb_poll_for_event(FConnection)};
            if (!event) {
                pollfd descriptor{xcb_get_file_descriptor(FConnection), POLLIN, 0};
                poll(&descriptor, 1, 10);
                continue;
            }
            if ((event->response_type & 0x7F) != XCB_MAP_NOTIFY) {
                continue;
            }
            const TClock::time_point seen = TClock::now();
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event.get());
            if (map->override_redirect == 0 && WindowPid(map->window) == pid) {
                return seen;
            }
        }
        return std::nullopt;
    }

private:
    xcb_atom_t InternAtom(const char* name) {
        const auto cookie =
            xcb_intern_atom(FConnection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
        std::unique_ptr<xcb_intern_atom_reply_t, TFreeReply> reply{
            xcb_intern_atom_reply(FConnection, cookie, nullptr)};
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    std::optional<pid_t> WindowPid(xcb_window_t window) {
        const auto cookie =
            xcb_get_property(FConnection, 0, window, FPidAtom, XCB_ATOM_CARDINAL, 0, 1);
        std::unique_ptr<xcb_get_property_reply_t, TFreeReply> reply{
            xcb_get_property_reply(FConnection, cookie, nullptr)};
        if (!reply || xcb_get_property_value_length(reply.get()) != 4) {
            return std::nullopt;
        }
        return static_cast<pid_t>(
            *static_cast<std::uint32_t*>(xcb_get_property_value(reply.get())));
    }

    xcb_connection_t* FConnection;
    xcb_window_t FRoot = 0;
    xcb_atom_t FPidAtom = XCB_ATOM_NONE;
};

struct TStart {
    double MappedMs = 0;
    long PeakKib = 0;
};

// Starts `program` with an empty device map of its own, times it to its window and reads
// its peak memory once it has settled.
std::optional<TStart> StartOnce(TMapWatch& watch, const std::string& program, int settleMs) {
    bench::TPrivateDirectory runtime("tessaro-startup-");
    watch.Drain();
    const TClock::time_point started = TClock::now();
    bench::TChildProcess child({program}, "", {"XDG_RUNTIME_DIR=" + runtime.Path().string()});
    const std::optional<TClock::time_point> mapped = watch.WaitForMap(child.Pid(), kMapTimeoutMs);
    if (!mapped) {
        return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
    TStart start;
    start.MappedMs = std::chrono::duration<double, std::milli>(*mapped - started).count();
    start.PeakKib = bench::StatusKib(child.Pid(), "VmHWM");
    child.Stop();
    return start;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct TFigures {
    std::vector<double> Times;
    std::vector<double> Peaks;
};

void PrintSummary(const TFigures (&figures)[kProgramCount]) {
    double timeMs[kProgramCount];
    double peakKib[kProgramCount];
    for (std::size_t which = 0; which < kProgramCount; ++which) {
        timeMs[which] = Median(figures[which].Times);
        peakKib[which] = Median(figures[which].Peaks);
    }
    const double memoryGoal = peakKib[2] + kGoalMemoryAllowanceKib;
    std::printf("\n%-22s %9s %9s %9s %15s %14s %12s\n", "median", "tessaro", "empty", "text",
                "tessaro/empty", "tessaro/text", "goal");
    const bool timeMet = timeMs[0] <= kGoalTimeRatio * timeMs[2];
    const bool memoryMet = peakKib[0] <= memoryGoal;
    std::printf("%-22s %9.1f %9.1f %9.1f %15.3f %14.3f %12s  %s\n", "exec to mapped (ms)",
                timeMs[0], timeMs[1], timeMs[2], timeMs[0] / timeMs[1], timeMs[0] / timeMs[2],
                "<= 1.2 x text", timeMet ? "met" : "MISSED");
    std::printf("%-22s %9.0f %9.0f %9.0f %15.3f %14.3f %12.0f  %s\n", "peak resident (KiB)",
                peakKib[0], peakKib[1], peakKib[2], peakKib[0] / peakKib[1],
                peakKib[0] / peakKib[2], memoryGoal, memoryMet ? "met" : "MISSED");
    std::printf("goal (start-up <= 1.2 x the text window's, peak <= the text window's + 4 MiB): "
                "%s\n",
                timeMet && memoryMet ? "met" : "not met");
}

} // namespace

int main(int argc, char** argv) {
    const std::optional<TOptions> options = ParseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "Usage: %s [--rounds N] [--settle MS] [TESSARO EMPTY_WINDOW TEXT_WINDOW]\n",
                     argv[0]);
        return 2;
    }
    TMapWatch watch;
    if (!watch.Connected()) {
        std::fprintf(stderr, "no X server: run under xvfb-run\n");
        return 2;
    }
    TFigures figures[kProgramCount];
    std::printf("Start-up: exec to window mapped, and peak resident memory (VmHWM)\n");
    std::printf("%6s %-10s %12s %12s\n", "round", "program", "mapped ms", "peak KiB");
    for (int round = 1; round <= options->Rounds; ++round) {
        for (std::size_t turn = 0; turn < kProgramCount; ++turn) {
            // Each round another program starts first.
            const std::size_t which = (static_cast<std::size_t>(round) + turn) % kProgramCount;
            const std::optional<TStart> start =
                StartOnce(watch, options->Programs[which], options->SettleMs);
            if (!start) {
                std::printf("%6d %-10s %12s %12s\n", round, kProgramNames[which], "no window", "-");
                continue;
            }
            figures[which].Times.push_back(start->MappedMs);
            figures[which].Peaks.push_back(static_cast<double>(start->PeakKib));
            std::printf("%6d %-10s %12.1f %12ld\n", round, kProgramNames[which], start->MappedMs,
                        start->PeakKib);
        }
    }
    for (const TFigures& program : figures) {
        if (program.Times.empty()) {
            std::printf("a program never mapped its window\n");
            return 1;
        }
    }
    PrintSummary(figures);
    return 0;
}
