// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/termination_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace toolkit {
namespace {

sigset_t TerminationSignalSet() {
    sigset_t terminationSignals;
    sigemptyset(&terminationSignals);
    for (const int number : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE}) {
        sigaddset(&terminationSignals, number);
    }
    return terminationSignals;
}

} // namespace

void BlockTerminationSignals() {
    const sigset_t terminationSignals = TerminationSignalSet();
    pthread_sigmask(SIG_BLOCK, &terminationSignals, nullptr);
}

TTerminationSignals::TTerminationSignals(const char* programName) : FProgramName(programName) {
    const sigset_t terminationSignals = TerminationSignalSet();
    FDescriptor = ::signalfd(-1, &terminationSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (FDescriptor < 0) {
        std::fprintf(stderr,
                     "%s: signalfd: %s: termination signals end the program without "
                     "closing its ports\n",
                     FProgramName, std::strerror(errno));
        pthread_sigmask(SIG_UNBLOCK, &terminationSignals, nullptr);
        return;
    }
    FNotifier = std::make_unique<QSocketNotifier>(FDescriptor, QSocketNotifier::Read);
    QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [this] { EndApplication(); });
}

TTerminationSignals::~TTerminationSignals() {
    FNotifier.reset();
    if (FDescriptor >= 0) {
        ::close(FDescriptor);
    }
}

// Every event loop ends, the nested ones of open dialogs and boxes too; a loop started
// after this returns at once, so main() goes on to destroy the window.
void TTerminationSignals::EndApplication() {
    signalfd_siginfo info{};
    if (::read(FDescriptor, &info, sizeof info) != sizeof info) {
        return;
    }
    const char* name = sigabbrev_np(int(info.ssi_signo));
    std::fprintf(stderr, "%s: SIG%s received: closing the port and ending\n", FProgramName,
                 name != nullptr ? name : "?");
    QCoreApplication::exit(0);
}

} // namespace toolkit
