// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

class QSocketNotifier;

namespace app {

// SIGTERM, SIGINT and SIGHUP end Tessaro as its Exit button does: the event loops end, the
// window and its ports are destroyed in order, and the exit status is 0. A signal's
// default action would end the process on the spot, leaving the serial terminal marked
// for exclusive use.

// Blocks the three signals in the calling thread. Called before any thread starts, so
// that every thread inherits the mask and none of them takes a signal's default action.
void BlockTerminationSignals();

// Reads the blocked signals from a descriptor the event loop watches; needs the
// application object. Should the descriptor not be had, the signals are unblocked again
// and keep their default action.
class TTerminationSignals {
public:
    TTerminationSignals();
    ~TTerminationSignals();
    TTerminationSignals(const TTerminationSignals&) = delete;
    TTerminationSignals& operator=(const TTerminationSignals&) = delete;

private:
    void EndApplication();

    int FDescriptor = -1;
    std::unique_ptr<QSocketNotifier> FNotifier;
};

} // namespace app
