// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_line.h"

#include "cli/terminal_text.h"
#include "protocol/commands.h"
#include "tessaro_version.h"
#include "toolkit/conversions.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>
#include <utility>

namespace cli {

namespace {

constexpr const char* kSynopsis =
    "Usage: tessaro-query [--port NAME] [--timeout SECONDS]\n"
    "                     ports|size|settings|firmware|scale|monitor [--json]\n"
    "       tessaro-query history [--port NAME] [--json]\n"
    "       tessaro-query [--port NAME] scale --set X,Y [--yes] [--no-journal]\n"
    "       tessaro-query [--port NAME] restore [--entry N] [--force] [--yes] [--no-journal]\n"
    "       tessaro-query [--port NAME] test-cut --size WxH\n"
    "       tessaro-query [--port NAME] calibrate --plan [--resolution MM] [--json]\n"
    "       tessaro-query [--port NAME] calibrate --test WxH --measured WxH\n"
    "                     [--measured WxH ...] [--resolution MM] [--force] [--yes]\n"
    "                     [--no-journal] [--json]\n";

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
    "  history    the scale journal, oldest first: entry, time, port, before -> after,\n"
    "             outcome\n"
    "  scale --set X,Y\n"
    "             write these scale values into the cutter's flash\n"
    "  restore    write back the values a journal entry replaced (default: the last\n"
    "             saved entry of the port); refused when the cutter no longer holds\n"
    "             what that entry wrote, unless --force\n"
    "  test-cut --size WxH\n"
    "             cut the calibration's test rectangle, in millimetres (50x40)\n"
    "  calibrate --plan\n"
    "             the test size, from the media, that lets the ruler tell one step\n"
    "             of the scale, its uncertainty, and the test-cut command\n"
    "  calibrate --test WxH --measured WxH [--measured WxH ...]\n"
    "             write the scale that makes the test rectangle measure its size,\n"
    "             from the mean of the readings, with its uncertainty (k = 2); an\n"
    "             axis whose correction lies within that uncertainty is kept, and\n"
    "             when both are, nothing is written (exit 0) unless --force\n"
    "\n"
    "A write reads the scale twice (both readings must agree), asks \"Write scale\n"
    "X,Y to COM33 (now A,B)? [y/N]\" on a terminal (--yes otherwise), writes, and\n"
    "reads it back; before and after it records the write in\n"
    "$XDG_STATE_HOME/tessaro/scale-journal.jsonl, and writes nothing when it cannot\n"
    "(--no-journal writes anyway).\n"
    "\n"
    "Options:\n"
    "  --port NAME        a port `ports` lists (COM33, USB0; any case) or its device\n"
    "                     path (/dev/ttyUSB0); without it, the one cutter that answers\n"
    "  --timeout SECONDS  how long a query waits for its answer (default 1, up to\n"
    "                     3600; a decimal point, as 0.5)\n"
    "  --resolution MM    the ruler's resolution, for calibrate (default 0.5)\n"
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
// A ruler read more coarsely than to the centimetre cannot calibrate anything.
constexpr double kCoarsestResolutionMm = 10;

constexpr std::array<std::pair<const char*, TQueryCommand>, 10> kCommands{{
    {"ports", qcPorts},
    {"size", qcSize},
    {"settings", qcSettings},
    {"firmware", qcFirmware},
    {"scale", qcScale},
    {"monitor", qcMonitor},
    {"history", qcHistory},
    {"restore", qcRestore},
    {"test-cut", qcTestCut},
    {"calibrate", qcCalibrate},
}};

// One line, as tessaro's own refusals are; what was typed is shown escaped.
TCommandLine Refusal(const QString& cause) {
    TCommandLine refused;
    refused.ExitCode = kExitUsage;
    refused.Error =
        "tessaro-query: " + TerminalText(cause.toStdString()) + " (see tessaro-query --help)\n";
    return refused;
}

// The parser names an unknown option without its dashes; the operator is shown the
// argument as typed ("-xy" for the x of "-xy", "--bogus" for "--bogus=1").
QString UnknownOptionTyped(const QStringList& arguments, const QString& name) {
    for (const QString& argument : arguments.mid(1)) {
        if (argument == QLatin1String("--")) {
            break;
        }
        const QString option = argument.section(QLatin1Char('='), 0, 0);
        const bool typed = option.startsWith(QLatin1String("--"))
                               ? option.mid(2) == name
                               : option.startsWith(QLatin1Char('-')) && option.contains(name);
        if (typed) {
            return option;
        }
    }
    return name;
}

// The parser's own texts ("Missing value after '--port'.") in the style of the others.
QString ParseError(const QCommandLineParser& parser, const QStringList& arguments) {
    if (!parser.unknownOptionNames().isEmpty()) {
        return QStringLiteral("unknown option '%1'")
            .arg(UnknownOptionTyped(arguments, parser.unknownOptionNames().front()));
    }
    QString text = parser.errorText();
    if (text.endsWith(QLatin1Char('.'))) {
        text.chop(1);
    }
    return text.isEmpty() ? text : text.front().toLower() + text.mid(1);
}

std::optional<TQueryCommand> CommandNamed(const QString& name) {
    for (const auto& [commandName, command] : kCommands) {
        if (name.compare(QLatin1String(commandName), Qt::CaseInsensitive) == 0) {
            return command;
        }
    }
    return std::nullopt;
}

// A number written with a point ("1", "0.5"), whatever the locale; no sign, no exponent.
std::optional<double> PointDecimalOf(const QString& text) {
    static const QRegularExpression decimal(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+(\\.[0-9]+)?")));
    if (!decimal.match(text).hasMatch()) {
        return std::nullopt;
    }
    const std::string digits = text.toStdString();
    double number = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), number);
    return number;
}

// Seconds written with a point ("1", "0.5"), above zero once rounded to milliseconds.
std::optional<std::chrono::milliseconds> TimeoutOf(const QString& text) {
    const std::optional<double> read = PointDecimalOf(text);
    if (!read) {
        return std::nullopt;
    }
    const double seconds = *read;
    if (seconds > kLongestTimeoutSeconds) {
        return std::nullopt;
    }
    const auto timeout = std::chrono::milliseconds(std::llround(seconds * 1000));
    return timeout.count() >= 1 ? std::optional(timeout) : std::nullopt;
}

// "1022,1005": two whole numbers from 1 up to what a scale value holds.
std::optional<session::TScaleValues> ScaleValuesOf(const QString& text) {
    static const QRegularExpression pair(
        QRegularExpression::anchoredPattern(QStringLiteral("([0-9]+),([0-9]+)")));
    const QRegularExpressionMatch match = pair.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    bool xFits = false;
    bool yFits = false;
    const session::TScaleValues values{match.captured(1).toInt(&xFits),
                                       match.captured(2).toInt(&yFits)};
    if (!xFits || !yFits || values.X <= 0 || values.Y <= 0) {
        return std::nullopt;
    }
    return values;
}

// The ruler's resolution: millimetres written with a point, above 0 up to a centimetre.
std::optional<double> ResolutionOf(const QString& text) {
    const std::optional<double> millimetres = PointDecimalOf(text);
    return millimetres && *millimetres > 0 && *millimetres <= kCoarsestResolutionMm ? millimetres
                                                                                    : std::nullopt;
}

// "50x40": millimetres as the wizard's fields take them, each a length a command carries.
std::optional<session::TCutSize> CutSizeOf(const QString& text) {
    const qsizetype cross = text.indexOf(QLatin1Char('x'), 0, Qt::CaseInsensitive);
    if (cross < 0) {
        return std::nullopt;
    }
    const session::TCutSize size{text.left(cross).toStdString(), text.mid(cross + 1).toStdString()};
    try {
        protocol::LengthUnitsFromText(size.X, "width");
        protocol::LengthUnitsFromText(size.Y, "height");
    } catch (const toolkit::EConvertError&) {
        return std::nullopt;
    }
    return size;
}

bool Writes(const TQueryRequest& request) {
    return request.SetScale || request.Command == qcRestore ||
           (request.Command == qcCalibrate && !request.Plan);
}

// The options of the writes, each with its command; nothing when they fit.
std::optional<QString> MisplacedOption(const TQueryRequest& request,
                                       const QCommandLineParser& parser) {
    const auto only = [&parser](const char* option, bool allowed) {
        return parser.isSet(QLatin1String(option)) && !allowed;
    };
    if (only("set", request.Command == qcScale)) {
        return QStringLiteral("--set is scale's");
    }
    if (only("entry", request.Command == qcRestore)) {
        return QStringLiteral("--entry is restore's");
    }
    if (only("force",
             request.Command == qcRestore || (request.Command == qcCalibrate && !request.Plan))) {
        return QStringLiteral("--force is restore's and calibrate's (not with --plan)");
    }
    if (only("yes", Writes(request)) || only("no-journal", Writes(request))) {
        return QStringLiteral("--yes and --no-journal go with a write");
    }
    if (only("size", request.Command == qcTestCut)) {
        return QStringLiteral("--size is test-cut's");
    }
    if (only("test", request.Command == qcCalibrate) ||
        only("measured", request.Command == qcCalibrate) ||
        only("plan", request.Command == qcCalibrate) ||
        only("resolution", request.Command == qcCalibrate)) {
        return QStringLiteral("--test, --measured, --plan and --resolution are calibrate's");
    }
    if (request.Plan &&
        (parser.isSet(QStringLiteral("test")) || parser.isSet(QStringLiteral("measured")))) {
        return QStringLiteral("--plan takes no --test or --measured: it tells the test size");
    }
    return std::nullopt;
}

// The values the write options carry; why not, when one is not in form.
std::optional<QString> ReadWriteOptions(const QCommandLineParser& parser, TQueryRequest& request) {
    if (parser.isSet(QStringLiteral("set"))) {
        request.SetScale = ScaleValuesOf(parser.value(QStringLiteral("set")));
        if (!request.SetScale) {
            return QStringLiteral("--set takes X,Y, whole numbers from 1 to 2147483647");
        }
    }
    if (parser.isSet(QStringLiteral("entry"))) {
        bool number = false;
        request.Entry = parser.value(QStringLiteral("entry")).toInt(&number);
        if (!number || *request.Entry < 1) {
            return QStringLiteral("--entry takes the number history shows");
        }
    }
    for (const char* option : {"size", "test", "measured"}) {
        for (const QString& text : parser.values(QLatin1String(option))) {
            const auto read = CutSizeOf(text);
            if (!read) {
                return QStringLiteral("--%1 takes WIDTHxHEIGHT in millimetres (50x40), not '%2'")
                    .arg(QLatin1String(option), text);
            }
            if (std::string_view(option) == "measured") {
                request.MeasuredSizes.push_back(*read);
            } else {
                request.TestSize = *read;
            }
        }
    }
    if (parser.isSet(QStringLiteral("resolution"))) {
        const auto resolution = ResolutionOf(parser.value(QStringLiteral("resolution")));
        if (!resolution) {
            return QStringLiteral("--resolution takes millimetres above 0 up to %1, with a point "
                                  "(0.5), not '%2'")
                .arg(kCoarsestResolutionMm)
                .arg(parser.value(QStringLiteral("resolution")));
        }
        request.ResolutionMm = *resolution;
    }
    request.Plan = parser.isSet(QStringLiteral("plan"));
    request.Force = parser.isSet(QStringLiteral("force"));
    request.Yes = parser.isSet(QStringLiteral("yes"));
    request.NoJournal = parser.isSet(QStringLiteral("no-journal"));
    return std::nullopt;
}

// What a command cannot go without.
std::optional<QString> MissingOption(const TQueryRequest& request) {
    if (request.Command == qcTestCut && request.TestSize.X.empty()) {
        return QStringLiteral("test-cut needs --size WxH");
    }
    if (request.Command == qcCalibrate && !request.Plan &&
        (request.TestSize.X.empty() || request.MeasuredSizes.empty())) {
        return QStringLiteral("calibrate needs --plan, or --test WxH and --measured WxH");
    }
    return std::nullopt;
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
    for (const char* valued : {"set", "entry", "size", "test", "measured", "resolution"}) {
        parser.addOption(
            QCommandLineOption(QLatin1String(valued), QString(), QStringLiteral("VALUE")));
    }
    for (const char* flag : {"force", "yes", "no-journal", "plan"}) {
        parser.addOption(QCommandLineOption(QLatin1String(flag)));
    }
    if (!parser.parse(arguments)) {
        return Refusal(ParseError(parser, arguments));
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
    // A value given twice is a slip, not a choice: neither is taken silently.
    for (const char* single : {"port", "set", "entry", "size", "test"}) {
        if (parser.values(QLatin1String(single)).size() > 1) {
            return Refusal(QStringLiteral("--%1 given more than once").arg(QLatin1String(single)));
        }
    }
    const QStringList ports = parser.values(portOption);
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
    TQueryRequest request{*command, ports.isEmpty() ? std::string() : ports.front().toStdString(),
                          parser.isSet(jsonOption), *timeout};
    for (const auto& check : {ReadWriteOptions(parser, request), MisplacedOption(request, parser),
                              MissingOption(request)}) {
        if (check) {
            return Refusal(*check);
        }
    }
    commandLine.Request = std::move(request);
    return commandLine;
}

} // namespace cli
