// SPDX-License-Identifier: GPL-3.0-or-later
// tessaro-query: the cutter session without a window. Reads the command line, chooses the
// Linux implementations of the platform services, runs one command on the session and
// ends with its exit status; SIGTERM, SIGINT, SIGHUP, SIGQUIT and SIGPIPE end it with the
// port closed. Standard output is closed as GNU tools close it: output that could not be
// written makes the status 1 (141 for a closed pipe), whatever the command's was.

#include "cli/command_line.h"
#include "cli/query_program.h"
#include "platform/linux/linux_port_sources.h"
#include "platform/linux/linux_serial_api.h"
#include "platform/linux/linux_usb_api.h"
#include "session/cutter_session.h"
#include "toolkit/termination_signals.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The session's log, for whoever asks for it with QT_LOGGING_RULES.
Q_LOGGING_CATEGORY(lcSessionLog, "tessaro.log", QtWarningMsg)

// The first error met writing standard output; 0 while all of it was written.
int outputError = 0;

bool WriteOutput(const std::string& text) {
    if (outputError == 0 && (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
                             std::fflush(stdout) != 0)) {
        outputError = errno != 0 ? errno : EIO;
    }
    return outputError == 0;
}

// The exit status once standard output is closed: `exitCode` only when all of it left.
int ClosingOutput(int exitCode) {
    if (std::fclose(stdout) != 0 && outputError == 0) {
        outputError = errno;
    }
    if (outputError == 0) {
        return exitCode;
    }
    if (outputError == EPIPE) {
        return cli::kExitClosedPipe;
    }
    std::fprintf(stderr, "tessaro-query: write error: %s\n", std::strerror(outputError));
    return cli::kExitNoAnswer;
}

// True once the pipe standard output writes into has no reader left: its write end then
// reports an error condition.
bool ReaderGone() {
    pollfd output{STDOUT_FILENO, 0, 0};
    return ::poll(&output, 1, 0) == 1 && (output.revents & POLLERR) != 0;
}

// A monitor writes only on a change, so it would hold the port until the next change met
// the closed pipe: `gone` is called as soon as the reader of standard output goes. Nothing
// is watched where standard output is no pipe.
std::unique_ptr<QSocketNotifier> WatchOutputReader(std::function<void()> gone) {
    struct stat output {};
    if (::fstat(STDOUT_FILENO, &output) != 0 || !S_ISFIFO(output.st_mode)) {
        return nullptr;
    }
    // The event loop reports the error condition to a read notifier.
    auto notifier = std::make_unique<QSocketNotifier>(STDOUT_FILENO, QSocketNotifier::Read);
    QSocketNotifier* watching = notifier.get();
    QObject::connect(watching, &QSocketNotifier::activated, watching,
                     [watching, gone = std::move(gone)] {
                         // Once is enough; a pipe opened for reading as well would report
                         // its input again and again.
                         watching->setEnabled(false);
                         if (ReaderGone()) {
                             gone();
                         }
                     });
    return notifier;
}

// A yes or no from the operator at the terminal; nothing where standard input is none.
// The answer is awaited in the event loop, so a termination signal ends the question as
// it ends any other wait: as a no.
std::optional<bool> AskOnTerminal(const std::string& question) {
    if (::isatty(STDIN_FILENO) == 0) {
        return std::nullopt;
    }
    std::fputs(question.c_str(), stderr);
    std::fflush(stderr);
    QEventLoop loop;
    QSocketNotifier typed(STDIN_FILENO, QSocketNotifier::Read);
    bool answered = false;
    QObject::connect(&typed, &QSocketNotifier::activated, &loop, [&] {
        answered = true;
        loop.quit();
    });
    loop.exec();
    std::string answer;
    if (!answered || !std::getline(std::cin, answer)) {
        std::fputs("\n", stderr);
        return false;
    }
    return answer == "y" || answer == "Y" || answer == "yes";
}

int RunRequest(const cli::TQueryRequest& request) {
    platform::TLinuxSerialApi serial;
    platform::TLinuxUsbApi usb;
    platform::TLinuxPortSources portSources;
    session::TCutterSession session(serial, usb, portSources);
    QObject::connect(&session, &session::TCutterSession::LogLine,
                     [](const std::string& line) { qCDebug(lcSessionLog, "%s", line.c_str()); });
    cli::TQueryProgram* running = nullptr;
    // A monitor's lines reach a pipe or a file as they come; one that cannot be written
    // ends the monitor.
    const auto writeValues = [&running](const std::string& lines) {
        if (!WriteOutput(lines) && running != nullptr) {
            running->EndMonitor(cli::kExitNoAnswer);
        }
    };
    const auto tellCause = [](const std::string& cause) {
        std::fprintf(stderr, "tessaro-query: %s\n", cause.c_str());
    };
    cli::TQueryProgram program(session, {writeValues, tellCause, AskOnTerminal});
    running = &program;
    const auto readerWatch = WatchOutputReader([&program] {
        outputError = EPIPE;
        program.EndMonitor(cli::kExitClosedPipe);
    });
    return program.Run(request);
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int index = 0; index < argc; ++index) {
        arguments.append(QString::fromLocal8Bit(argv[index]));
    }
    const cli::TCommandLine commandLine = cli::ReadCommandLine(arguments);
    if (!commandLine.Request) {
        WriteOutput(commandLine.Output);
        std::fputs(commandLine.Error.c_str(), stderr);
        return ClosingOutput(commandLine.ExitCode);
    }
    toolkit::BlockTerminationSignals();
    QCoreApplication application(argc, argv);
    const toolkit::TTerminationSignals endOnSignal("tessaro-query");
    return ClosingOutput(RunRequest(*commandLine.Request));
}
