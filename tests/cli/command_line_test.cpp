// SPDX-License-Identifier: GPL-3.0-or-later
// tessaro-query's command line: each usage it refuses ends with 2 and says why on
// standard error; the commands it takes become a request.

#include "cli/command_line.h"

#include <gtest/gtest.h>

namespace cli::test {
namespace {

TCommandLine Read(const QStringList& arguments) {
    return ReadCommandLine(QStringList{QStringLiteral("tessaro-query")} + arguments);
}

TEST(QueryCommandLine, EachBadUsageEndsWithTwoAndACause) {
    const QStringList badUsages[] = {
        {},
        {"--json"},
        {"sizes"},
        {"size", "scale"},
        {"size", "--bogus"},
        {"-x", "size"},
        {"size", "--port"},
        {"--port=", "size"},
        {"--port", "COM1", "--port", "COM2", "size"},
        {"--json=yes", "size"},
    };
    for (const QStringList& arguments : badUsages) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const TCommandLine commandLine = Read(arguments);
        EXPECT_FALSE(commandLine.Request.has_value());
        EXPECT_EQ(commandLine.ExitCode, kExitUsage);
        EXPECT_TRUE(commandLine.Error.starts_with("tessaro-query: ")) << commandLine.Error;
        EXPECT_TRUE(commandLine.Output.empty());
    }
}

TEST(QueryCommandLine, TakesEachCommandWithItsPortAndFormWhereverTheOptionsStand) {
    const struct {
        QStringList Arguments;
        TQueryCommand Command;
        std::string Port;
        bool Json;
    } rows[] = {
        {{"ports"}, qcPorts, "", false},
        {{"size"}, qcSize, "", false},
        {{"--port", "COM33", "settings"}, qcSettings, "COM33", false},
        {{"firmware", "--port=/dev/ttyUSB0", "--json"}, qcFirmware, "/dev/ttyUSB0", true},
        {{"--json", "scale"}, qcScale, "", true},
        {{"--port", "USB0", "monitor", "--json"}, qcMonitor, "USB0", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Arguments.join(' ').toStdString());
        const TCommandLine commandLine = Read(row.Arguments);
        ASSERT_TRUE(commandLine.Request.has_value()) << commandLine.Error;
        EXPECT_EQ(commandLine.Request->Command, row.Command);
        EXPECT_EQ(commandLine.Request->Port, row.Port);
        EXPECT_EQ(commandLine.Request->Json, row.Json);
    }
}

TEST(QueryCommandLine, HelpAndVersionEndWithZeroWhateverElseIsGiven) {
    for (const QStringList& arguments :
         {QStringList{"--help"}, QStringList{"size", "-h", "x"}, QStringList{"--version"}}) {
        const TCommandLine commandLine = Read(arguments);
        EXPECT_FALSE(commandLine.Request.has_value());
        EXPECT_EQ(commandLine.ExitCode, kExitAnswered);
        EXPECT_TRUE(commandLine.Output.starts_with(
            arguments.contains("--version") ? "tessaro-query " : "Usage: tessaro-query"));
    }
}

} // namespace
} // namespace cli::test
