// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_line.h"

#include "cli/terminal_text.h"
#include "tessaro_version.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <array>
#include <charconv>
#include <cmath>
#include <utility>

namespace cli {

namespace {

constexpr const char* kSynopsis =
    "Usage: tessaro-query [--port NAME] [--timeout SECONDS]\n"
    "                     ports|size|settings|firmware|scale|monitor [--json]\n";

constexpr const char* kHelp =
    "Asks a vinyl cutter for what Tessaro's panel shows, from a shell or a script.\n"
    "\n"
    "Commands (any case):\n"
    "  ports      list the ports: name, device path and USB device ID\n"
    "  size       the media size (Poll Size X and Y)\n"
    "  settings   force, offset, media weight, quality, smooth, auto unroll,\n"
    "             media type\n"
    "  firmware   the firmware model and version, and the reply's whole version field\n"
    "  scale      the two scale values in the cutter's flash\n"
    "  monitor    watch the settings: one line for each reply that changes a value,\n"
    "             until SIGINT, SIGTERM or SIGQUIT\n"
    "\n"
    "Options:\n"
    "  --port NAME        a port `ports` lists (COM33, USB0; any case) or its device\n"
    "                     path (/dev/ttyUSB0); without it, the one cutter that answers\n"
    "  --timeout SECONDS  how long a query waits for its answer (default 1, up to\n"
    "                     3600; a decimal point, as 0.5)\n"
    "  --json             one JSON object per line\n"
    "  -h, --help         show this text\n"
    "  -V, --version      show the version\n"
    "\n"
    "A value printed comes from one whole reply to the query sent: its exact number\n"
    "of fields (size 4, settings 8, scale 3, firmware at least 4), numbers where\n"
    "numbers belong, ended by CR (CR LF accepted), nothing before it; the reply ends\n"
    "at its CR. Anything else is exit 1 with the reply quoted; silence is \"COM33: no\n"
    "answer within 1.0 s\". The monitor prints whole replies only; a reply not whole\n"
    "and silence (\"COM33: no answer for 2 s\") are told on standard error and it goes\n"
    "on; a port that is gone ends it with 1. Bytes that are not printable are shown\n"
    "as \\xNN (CR as \\r), but under --json.\n"
    "\n"
    "Exit status: 0 answered and the output written; 1 no answer, an answer not\n"
    "whole, the port refused or the output lost; 2 usage; 141 standard output was a\n"
    "closed pipe. QT_LOGGING_RULES=tessaro.log.debug=true writes the exchanges' log\n"
    "to standard error. See tessaro-query(1).\n";

// A query waits at most this long: an hour is more than any cutter takes.
constexpr int kLongestTimeoutSeconds = 3600;

constexpr std::array<std::pair<const char*, TQueryCommand>, 6> kCommands{{
    {"ports", qcPorts},
    {"size", qcSize},
    {"settings", qcSettings},
    {"firmware", qcFirmware},
    {"scale", qcScale},
    {"monitor", qcMonitor},
}};

// One line, as tessaro's own refusals are; what was typed is shown escaped.
TCommandLine Refusal(const QString& cause) {
    TCommandLine refused;
    refused.ExitCode = kExitUsage;
    refused.Error =
        "tessaro-query: " + TerminalText(cause.toStdString()) + " (see tessaro-query --help)\n";
    return refused;
}

std::optional<TQueryCommand> CommandNamed(const QString& name) {
    for (const auto& [commandName, command] : kCommands) {
        if (name.compare(QLatin1String(commandName), Qt::CaseInsensitive) == 0) {
            return command;
        }
    }
    return std::nullopt;
}

// Seconds written with a point ("1", "0.5"), above zero once rounded to milliseconds.
std::optional<std::chrono::milliseconds> TimeoutOf(const QString& text) {
    static const QRegularExpression decimal(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+(\\.[0-9]+)?")));
    if (!decimal.match(text).hasMatch()) {
        return std::nullopt;
    }
    const std::string digits = text.toStdString();
    double seconds = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
    if (seconds > kLongestTimeoutSeconds) {
        return std::nullopt;
    }
    const auto timeout = std::chrono::milliseconds(std::llround(seconds * 1000));
    return timeout.count() >= 1 ? std::optional(timeout) : std::nullopt;
}

} // namespace

TCommandLine ReadCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption portOption(QStringLiteral("port"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"), QString(),
                                           QStringLiteral("SECONDS"));
    const QCommandLineOption jsonOption(QStringLiteral("json"));
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(
        QStringList{QStringLiteral("V"), QStringLiteral("version")});
    parser.addOptions({portOption, timeoutOption, jsonOption, helpOption, versionOption});
    if (!parser.parse(arguments)) {
        return Refusal(parser.errorText());
    }
    TCommandLine commandLine;
    if (parser.isSet(helpOption)) {
        commandLine.Output = std::string(kSynopsis) + kHelp;
        return commandLine;
    }
    if (parser.isSet(versionOption)) {
        commandLine.Output = std::string("tessaro-query ") + kTessaroVersion + "\n";
        return commandLine;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        return Refusal(QStringLiteral("no command given"));
    }
    if (positional.size() > 1) {
        return Refusal(
            QStringLiteral("one command at a time: '%1' is one too many").arg(positional.at(1)));
    }
    const std::optional<TQueryCommand> command = CommandNamed(positional.front());
    if (!command) {
        return Refusal(QStringLiteral("unknown command '%1'").arg(positional.front()));
    }
    const QStringList ports = parser.values(portOption);
    if (ports.size() > 1) {
        return Refusal(QStringLiteral("--port given more than once"));
    }
    if (!ports.isEmpty() && ports.front().isEmpty()) {
        return Refusal(QStringLiteral("--port needs a port name or device path"));
    }
    if (!ports.isEmpty() && *command == qcPorts) {
        return Refusal(QStringLiteral("ports lists every port: it takes no --port"));
    }
    const QStringList timeouts = parser.values(timeoutOption);
    const std::optional<std::chrono::milliseconds> timeout =
        timeouts.isEmpty() ? TQueryRequest{}.Timeout : TimeoutOf(timeouts.back());
    if (!timeout) {
        return Refusal(
            QStringLiteral("--timeout takes seconds above 0 up to %1, with a point (0.5), not '%2'")
                .arg(kLongestTimeoutSeconds)
                .arg(timeouts.back()));
    }
    commandLine.Request =
        TQueryRequest{*command, ports.isEmpty() ? std::string() : ports.front().toStdString(),
                      parser.isSet(jsonOption), *timeout};
    return commandLine;
}

} // namespace cli
