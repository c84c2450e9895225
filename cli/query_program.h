// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/command_line.h"
#include "cli/engine_wait.h"
#include "cli/output_format.h"
#include "session/cutter_session.h"

#include <functional>
#include <optional>
#include <string>

namespace cli {

// Where the program's texts go: the values (whole lines), and causes for standard error.
struct TOutput {
    std::function<void(const std::string& lines)> Values;
    std::function<void(const std::string& cause)> Error;
    // Asks the operator a yes/no question; nothing when there is no terminal to ask on.
    std::function<std::optional<bool>(const std::string& question)> Ask{};
};

// One run of tessaro-query on a session, which it sets to the shell's reply rule: chooses
// the port, runs the command and prints what it read. Returns the exit status.
class TQueryProgram {
public:
    TQueryProgram(session::TCutterSession& session, TOutput output);

    int Run(const TQueryRequest& request);
    // Ends a monitor that runs, with this exit status (a termination signal ends it with 0
    // by ending every event loop).
    void EndMonitor(int exitCode);

private:
    int ListPorts(TOutputStyle style);
    int ShowHistory(const TQueryRequest& request, TOutputStyle style);
    int RunWrite(const TQueryRequest& request, const session::TPortEntry& port);
    int RunOneQuery(const TQueryRequest& request, const std::string& port, TOutputStyle style);
    int RunMonitor(const std::string& port, TOutputStyle style);
    void Tell(const std::string& cause);
    int Fail(const std::string& cause);

    session::TCutterSession& FSession;
    TOutput FOutput;
    std::string FPortName; // the port the command runs on, once chosen
    TEngineWait FMonitorWait;
    std::optional<int> FMonitorExit;
};

} // namespace cli
