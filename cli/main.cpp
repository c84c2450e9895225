// SPDX-License-Identifier: GPL-3.0-or-later
// tessaro-query: the cutter session without a window. Reads the command line, chooses the
// Linux implementations of the platform services, runs one command on the session and
// ends with its exit status; SIGTERM, SIGINT and SIGHUP end it with the port closed.

#include "cli/command_line.h"
#include "cli/query_program.h"
#include "platform/linux/linux_port_sources.h"
#include "platform/linux/linux_serial_api.h"
#include "platform/linux/linux_usb_api.h"
#include "session/cutter_session.h"
#include "toolkit/termination_signals.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>
#include <string>

namespace {

// The session's log, for whoever asks for it with QT_LOGGING_RULES.
Q_LOGGING_CATEGORY(lcSessionLog, "tessaro.log", QtWarningMsg)

cli::TOutput StandardStreams() {
    return {[](const std::string& lines) {
                std::fwrite(lines.data(), 1, lines.size(), stdout);
                // A monitor's lines reach a pipe or a file as they come.
                std::fflush(stdout);
            },
            [](const std::string& cause) {
                std::fprintf(stderr, "tessaro-query: %s\n", cause.c_str());
            }};
}

int RunRequest(const cli::TQueryRequest& request) {
    platform::TLinuxSerialApi serial;
    platform::TLinuxUsbApi usb;
    platform::TLinuxPortSources portSources;
    session::TCutterSession session(serial, usb, portSources);
    QObject::connect(&session, &session::TCutterSession::LogLine,
                     [](const std::string& line) { qCDebug(lcSessionLog, "%s", line.c_str()); });
    cli::TQueryProgram program(session, StandardStreams());
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
        std::fputs(commandLine.Output.c_str(), stdout);
        std::fputs(commandLine.Error.c_str(), stderr);
        return commandLine.ExitCode;
    }
    toolkit::BlockTerminationSignals();
    QCoreApplication application(argc, argv);
    const toolkit::TTerminationSignals endOnSignal("tessaro-query");
    return RunRequest(*commandLine.Request);
}
