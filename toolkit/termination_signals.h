// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

class QSocketNotifier;

namespace toolkit {

// SIGTERM, SIGINT, SIGHUP, SIGQUIT and SIGPIPE end a program of Tessaro's in order: the
// event loops end, the objects that hold ports are destroyed, and the exit status is 0. A
// signal's default action would end the process on the spot, leaving the serial terminal
// marked for exclusive use. With SIGPIPE blocked, a write to a closed pipe fails with
// EPIPE, which the writer sees as well.

// Blocks the five signals in the calling thread. Called before any thread starts, so
// that every thread inherits the mask and none of them takes a signal's default action.
void BlockTerminationSignals();

// Reads the blocked signals from a descriptor the event loop watches; needs the
// application object. Should the descriptor not be had, the signals are unblocked again
// and keep their default action. `programName` begins the lines written to standard error.
class TTerminationSignals {
public:
    explicit TTerminationSignals(const char* programName);
    ~TTerminationSignals();
    TTerminationSignals(const TTerminationSignals&) = delete;
    TTerminationSignals& operator=(const TTerminationSignals&) = delete;

private:
    void EndApplication();

    const char* FProgramName;
    int FDescriptor = -1;
    std::unique_ptr<QSocketNotifier> FNotifier;
};

} // namespace toolkit
