// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/query_program.h"

#include "cli/journal_format.h"
#include "cli/port_choice.h"
#include "cli/query_run.h"
#include "cli/scale_commands.h"
#include "cli/terminal_text.h"
#include "protocol/reply_decoding.h"

#include <QTimer>

#include <algorithm>
#include <exception>
#include <optional>
#include <set>

namespace cli {

namespace {

// How long the monitor waits for an answer before it says the cutter is silent.
constexpr std::chrono::seconds kMonitorSilence{2};

// The port list's entry of the port chosen (a USB device beyond the list has none).
session::TPortEntry EntryNamed(const std::vector<session::TPortEntry>& entries,
                               const std::string& name) {
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [&name](const auto& listed) { return listed.Name == name; });
    if (entry != entries.end()) {
        return *entry;
    }
    session::TPortEntry named;
    named.Name = name;
    return named;
}

} // namespace

// A script trusts what is printed: only a whole reply gives values, and the CR that ends
// it ends the wait.
TQueryProgram::TQueryProgram(session::TCutterSession& session, TOutput output)
    : FSession(session), FOutput(std::move(output)) {
    FSession.SetReplyMode(session::rmShell);
}

// An error a session operation throws (a port name that names no USB device) is a cause
// like any other.
int TQueryProgram::Run(const TQueryRequest& request) {
    const TOutputStyle style = request.Json ? osJson : osText;
    FPortName.clear();
    try {
        if (request.Command == qcPorts) {
            return ListPorts(style);
        }
        if (request.Command == qcHistory) {
            return ShowHistory(request, style);
        }
        const std::vector<session::TPortEntry> entries = FSession.PortEntries();
        const TPortChoice port = request.Port.empty()
                                     ? AnsweringPort(FSession, entries, request.Timeout)
                                     : PortNamed(request.Port, entries);
        if (!port.Failure.empty()) {
            return Fail(port.Failure);
        }
        FSession.SetPortName(port.PortName);
        FPortName = port.PortName;
        if (request.Command == qcMonitor) {
            return RunMonitor(port.PortName, style);
        }
        if (request.SetScale || request.Command == qcRestore || request.Command == qcTestCut ||
            request.Command == qcCalibrate) {
            return RunWrite(request, EntryNamed(entries, port.PortName));
        }
        return RunOneQuery(request, port.PortName, style);
    } catch (const std::exception& error) {
        return Fail(error.what());
    }
}

int TQueryProgram::ListPorts(TOutputStyle style) {
    FOutput.Values(FormatPorts(FSession.PortEntries(), style));
    return kExitAnswered;
}

// Needs no cutter: the journal is read as it stands.
int TQueryProgram::ShowHistory(const TQueryRequest& request, TOutputStyle style) {
    const session::TJournalContents journal =
        session::TScaleJournal(session::DefaultJournalPath()).Read();
    for (const std::string& warning : journal.Warnings) {
        Tell("warning: " + warning);
    }
    if (journal.Failure) {
        return Fail(*journal.Failure);
    }
    FOutput.Values(FormatHistory(journal.Entries, request.Port, style));
    return kExitAnswered;
}

int TQueryProgram::RunWrite(const TQueryRequest& request, const session::TPortEntry& port) {
    TScaleCommands commands(
        FSession, {FOutput.Values, [this](const std::string& cause) { Tell(cause); }, FOutput.Ask},
        request, port);
    switch (request.Command) {
    case qcRestore:
        return commands.Restore();
    case qcTestCut:
        return commands.TestCut();
    case qcCalibrate:
        return commands.Calibrate();
    default:
        return commands.SetScale();
    }
}

// A whole reply sets every value it prints, so nothing printed is left from an earlier one.
int TQueryProgram::RunOneQuery(const TQueryRequest& request, const std::string& port,
                               TOutputStyle style) {
    const TQueryOutcome outcome = RunQuery(FSession, request.Command, request.Timeout);
    if (!outcome.Answered) {
        return Fail(outcome.Failure);
    }
    FOutput.Values(FormatReply(request.Command, FSession.Settings(), port, style));
    return kExitAnswered;
}

// Each line printed is one whole reply, and only a change is printed. A reply that is
// not whole is told once per kind of fault, silence once per silent spell and the return
// of answers after it; only a port that is gone ends the monitor. The port is closed
// before the exit status is returned.
int TQueryProgram::RunMonitor(const std::string& port, TOutputStyle style) {
    using session::TCutterSession;
    std::string lastLine;
    std::set<protocol::TReplyFault> faultsTold;
    bool silenceTold = false;
    FMonitorExit.reset();
    QObject* const context = FMonitorWait.Context();
    QTimer silence;
    silence.setSingleShot(true);
    silence.setInterval(kMonitorSilence);
    QObject::connect(&silence, &QTimer::timeout, context, [&] {
        Tell("no answer for " + std::to_string(kMonitorSilence.count()) + " s");
        silenceTold = true;
    });
    const auto answered = [&] {
        silence.start();
        if (std::exchange(silenceTold, false)) {
            Tell("answering again");
        }
    };
    QObject::connect(&FSession, &TCutterSession::SettingsReported, context, [&] {
        answered();
        std::string line = FormatMonitorLine(FSession.Settings(), port, style);
        if (line != lastLine) {
            FOutput.Values(line);
            lastLine = std::move(line);
        }
    });
    QObject::connect(&FSession, &TCutterSession::ReplyNotWhole, context,
                     [&](protocol::TCommandCode query, const std::string& reply) {
                         answered();
                         if (faultsTold.insert(protocol::ReplyFault(query, reply)).second) {
                             Tell(NotWholeText(query, reply));
                         }
                     });
    // A port lost (or refused by the USB guard) ends the monitor, also before it waits.
    QObject::connect(
        &FSession, &TCutterSession::Failed, context, [this](const session::TOutcome& failure) {
            Tell(failure.Cause);
            if (failure.Kind == session::okPortLost || failure.Kind == session::okUsbBlocked) {
                EndMonitor(kExitNoAnswer);
            }
        });
    silence.start();
    // A termination signal ends the monitor with 0.
    FMonitorWait.Run([this] { FSession.StartMonitor(); }, std::nullopt);
    FSession.AbandonQueries();
    return FMonitorExit.value_or(kExitAnswered);
}

void TQueryProgram::EndMonitor(int exitCode) {
    FMonitorExit = exitCode;
    FMonitorWait.Fail({});
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
