// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/query_program.h"

#include "cli/port_choice.h"
#include "cli/query_run.h"
#include "cli/terminal_text.h"

#include <algorithm>
#include <exception>

namespace cli {

namespace {

// A reply that decoded but was too short to carry every value is no answer to print.
std::string AnswerLacksText(const std::string& missing) {
    return "the cutter's answer did not hold " + missing;
}

} // namespace

TQueryProgram::TQueryProgram(session::TCutterSession& session, TOutput output)
    : FSession(session), FOutput(std::move(output)) {}

// An error a session operation throws (a port name that names no USB device) is a cause
// like any other.
int TQueryProgram::Run(const TQueryRequest& request) {
    const TOutputStyle style = request.Json ? osJson : osText;
    FPortName.clear();
    try {
        if (request.Command == qcPorts) {
            return ListPorts(style);
        }
        const std::vector<session::TPortEntry> entries = FSession.PortEntries();
        const TPortChoice port = request.Port.empty() ? AnsweringPort(FSession, entries)
                                                      : PortNamed(request.Port, entries);
        if (!port.Failure.empty()) {
            return Fail(port.Failure);
        }
        FSession.SetPortName(port.PortName);
        FPortName = port.PortName;
        if (request.Command == qcMonitor) {
            return RunMonitor(port.PortName, style);
        }
        return RunOneQuery(request.Command, port.PortName, style);
    } catch (const std::exception& error) {
        return Fail(error.what());
    }
}

int TQueryProgram::ListPorts(TOutputStyle style) {
    FOutput.Values(FormatPorts(FSession.PortEntries(), style));
    return kExitAnswered;
}

int TQueryProgram::RunOneQuery(TQueryCommand command, const std::string& port, TOutputStyle style) {
    const TQueryOutcome outcome = RunQuery(FSession, command);
    if (!outcome.Answered) {
        return Fail(outcome.Failure);
    }
    if (const std::string missing = MissingValues(command, FSession.Settings()); !missing.empty()) {
        return Fail(AnswerLacksText(missing));
    }
    FOutput.Values(FormatReply(command, FSession.Settings(), port, style));
    return kExitAnswered;
}

// A reply that does not decode is told and the monitor goes on, as in the window; a
// silent cutter ends it. The port is closed before the exit status is returned.
int TQueryProgram::RunMonitor(const std::string& port, TOutputStyle style) {
    if (FSession.UsbBlocksComPort()) {
        return Fail(session::kUsbCablePluggedText);
    }
    std::string lastLine;
    QObject context;
    QObject::connect(&FSession, &session::TCutterSession::SettingsReported, &context, [&] {
        if (const std::string missing = MissingValues(qcMonitor, FSession.Settings());
            !missing.empty()) {
            Tell(AnswerLacksText(missing));
            return;
        }
        std::string line = FormatMonitorLine(FSession.Settings(), port, style);
        if (line != lastLine) {
            FOutput.Values(line);
            lastLine = std::move(line);
        }
    });
    QObject::connect(&FSession, &session::TCutterSession::QueryRefused, &context,
                     [this](const std::string& text) { Tell(text); });
    QObject::connect(&FSession, &session::TCutterSession::HandlerFailed, &context,
                     [this](const std::string& text) { Tell(text); });
    QObject::connect(&FSession, &session::TCutterSession::QuerySilent, &context,
                     [this](const std::string& text) {
                         Tell(text);
                         EndMonitor(kExitNoAnswer);
                     });
    FSession.StartMonitor();
    // A loop started after a termination signal ended every loop returns -1 at once.
    const int exitCode = std::max(FMonitorLoop.exec(), kExitAnswered);
    FSession.StopMonitor();
    return exitCode;
}

// Once a port is chosen, what went wrong is told with its name: without --port the
// operator may not know which port was asked. A cause may quote what the cutter sent or
// what was typed, so it is escaped; its own line breaks (the cause under "Device not
// found") stay.
void TQueryProgram::Tell(const std::string& cause) {
    FOutput.Error(TerminalText(FPortName.empty() ? cause : FPortName + ": " + cause, lbKept));
}

int TQueryProgram::Fail(const std::string& cause) {
    Tell(cause);
    return kExitNoAnswer;
}

} // namespace cli
