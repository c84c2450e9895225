// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_line.h"

#include "tessaro_version.h"

#include <QCommandLineParser>

#include <array>
#include <utility>

namespace cli {

namespace {

constexpr const char* kSynopsis =
    "Usage: tessaro-query [--port NAME] ports|size|settings|firmware|scale|monitor [--json]\n";

constexpr const char* kHelp =
    "Asks a vinyl cutter for what Tessaro's panel shows, from a shell or a script.\n"
    "\n"
    "Commands:\n"
    "  ports      list the ports: name, device path and USB device ID\n"
    "  size       the media size (Poll Size X and Y)\n"
    "  settings   force, offset, media weight, quality, smooth, auto unroll, media type\n"
    "  firmware   the firmware model and version\n"
    "  scale      the two scale values in the cutter's flash\n"
    "  monitor    watch the settings: one line for each reply that changes a value,\n"
    "             until SIGINT or SIGTERM\n"
    "\n"
    "Options:\n"
    "  --port NAME  the port as Tessaro's port list shows it (COM33, USB0) or its device\n"
    "               path (/dev/ttyUSB0); without it, the one cutter that answers\n"
    "  --json       one JSON object per line\n"
    "  --help       show this text\n"
    "  --version    show the version\n"
    "\n"
    "Exit status: 0 answered; 1 the cutter did not answer or the port could not be\n"
    "opened; 2 usage. QT_LOGGING_RULES=tessaro.log.debug=true writes the exchanges'\n"
    "log to standard error. See tessaro-query(1).\n";

constexpr std::array<std::pair<const char*, TQueryCommand>, 6> kCommands{{
    {"ports", qcPorts},
    {"size", qcSize},
    {"settings", qcSettings},
    {"firmware", qcFirmware},
    {"scale", qcScale},
    {"monitor", qcMonitor},
}};

// One line, as tessaro's own refusals are.
TCommandLine Refusal(const QString& cause) {
    TCommandLine refused;
    refused.ExitCode = kExitUsage;
    refused.Error = "tessaro-query: " + cause.toStdString() + " (see tessaro-query --help)\n";
    return refused;
}

std::optional<TQueryCommand> CommandNamed(const QString& name) {
    for (const auto& [commandName, command] : kCommands) {
        if (name == QLatin1String(commandName)) {
            return command;
        }
    }
    return std::nullopt;
}

} // namespace

TCommandLine ReadCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption portOption(QStringLiteral("port"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption jsonOption(QStringLiteral("json"));
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(QStringLiteral("version"));
    parser.addOptions({portOption, jsonOption, helpOption, versionOption});
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
    commandLine.Request =
        TQueryRequest{*command, ports.isEmpty() ? std::string() : ports.front().toStdString(),
                      parser.isSet(jsonOption)};
    return commandLine;
}

} // namespace cli
