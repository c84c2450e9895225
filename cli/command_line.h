// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What tessaro-query's command line asks for: one command, the port and the output form;
// or the end of the program with the text to show (--help, --version, a usage error).

#include "protocol/calibration.h"
#include "session/cutter_session.h"

#include <QStringList>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

enum TQueryCommand : std::uint8_t {
    qcPorts,
    qcSize,
    qcSettings,
    qcFirmware,
    qcScale,
    qcMonitor,
    qcHistory,
    qcRestore,
    qcTestCut,
    qcCalibrate,
};

struct TQueryRequest {
    TQueryCommand Command = qcPorts;
    std::string Port; // empty: the one cutter that answers
    bool Json = false;
    std::chrono::milliseconds Timeout{1000}; // --timeout: how long a query waits for its answer
    // The writes: scale --set's values, restore's --entry (1 the oldest), --force (restore:
    // over a change since; calibrate: a correction within its uncertainty), the sizes in
    // millimetres (test-cut --size, calibrate --test and each --measured).
    std::optional<session::TScaleValues> SetScale{};
    std::optional<int> Entry{};
    bool Force = false;
    bool Yes = false;       // write without asking
    bool NoJournal = false; // write even where the journal cannot be written
    session::TCutSize TestSize{};
    std::vector<session::TCutSize> MeasuredSizes{};
    // calibrate --plan: the test size to cut, nothing written; --resolution: the ruler's.
    bool Plan = false;
    double ResolutionMm = protocol::kDefaultResolutionMm;
};

inline constexpr int kExitAnswered = 0;
inline constexpr int kExitNoAnswer = 1;
inline constexpr int kExitUsage = 2;
// The status of a program the system ended with SIGPIPE, as shells report it.
inline constexpr int kExitClosedPipe = 141;

struct TCommandLine {
    std::optional<TQueryRequest> Request; // the command to run, when the line asks for one
    int ExitCode = kExitAnswered;         // otherwise the program ends with this
    std::string Output;                   // for standard output (--help, --version)
    std::string Error;                    // for standard error (a usage error)
};

// `arguments` as the program got them, its own name first.
TCommandLine ReadCommandLine(const QStringList& arguments);

} // namespace cli
