// SPDX-License-Identifier: GPL-3.0-or-later
// tessaro-query's command line, where the end-to-end runs do not go: each usage it refuses
// ends with 2 and one line of cause; --help and --version end with 0; a command becomes a
// request wherever the options stand and however --port is given.

#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace cli::test {
namespace {

TEST(QueryCommandLine, RefusesEachBadUsageWithTwoAndTakesOptionsAnywhere) {
    const struct {
        QStringList Arguments;
        int ExitCode; // -1: a request to run
        std::optional<TQueryRequest> Request;
    } rows[] = {
        {{"--json"}, kExitUsage, {}},
        {{"--port=", "size"}, kExitUsage, {}},
        {{"--port", "COM1", "--port", "COM2", "size"}, kExitUsage, {}},
        {{"--json=yes", "size"}, kExitUsage, {}},
        {{"size", "-h", "x"}, kExitAnswered, {}},
        {{"--version"}, kExitAnswered, {}},
        {{"size", "-V"}, kExitAnswered, {}},
        {{"ports", "--port", "COM1"}, kExitUsage, {}},
        {{"--timeout", "1,5", "size"}, kExitUsage, {}},
        {{"--timeout", "0.0004", "size"}, kExitUsage, {}},
        {{"--timeout", "3601", "size"}, kExitUsage, {}},
        {{"firmware", "--port=/dev/ttyUSB0", "--json"},
         -1,
         TQueryRequest{qcFirmware, "/dev/ttyUSB0", true}},
        {{"MoniTor", "--port", "USB0", "--timeout", "2.5"},
         -1,
         TQueryRequest{qcMonitor, "USB0", false, std::chrono::milliseconds(2500)}},
        // The writes: each option with its command, values in form and in range.
        {{"scale", "--set", "0,996"}, kExitUsage, {}},
        {{"scale", "--set", "1012,2147483648"}, kExitUsage, {}},
        {{"scale", "--set", "1012;996"}, kExitUsage, {}},
        {{"scale", "--yes"}, kExitUsage, {}},
        {{"scale", "--set", "1012,996", "--set", "1000,1000", "--yes"}, kExitUsage, {}},
        {{"size", "--set", "1012,996"}, kExitUsage, {}},
        {{"history", "--force"}, kExitUsage, {}},
        {{"restore", "--entry", "0"}, kExitUsage, {}},
        {{"test-cut"}, kExitUsage, {}},
        {{"test-cut", "--size", "50x0"}, kExitUsage, {}},
        {{"test-cut", "--size", "50,40"}, kExitUsage, {}},
        {{"calibrate", "--test", "50x40"}, kExitUsage, {}},
        {{"calibrate", "--size", "50x40", "--measured", "50x40"}, kExitUsage, {}},
        {{"scale", "--set", "1012,996", "--yes"},
         -1,
         TQueryRequest{.Command = qcScale,
                       .Port = "",
                       .SetScale = session::TScaleValues{1012, 996},
                       .Yes = true}},
        {{"restore", "--entry", "3", "--force", "--no-journal"},
         -1,
         TQueryRequest{
             .Command = qcRestore, .Port = "", .Entry = 3, .Force = true, .NoJournal = true}},
        {{"calibrate", "--plan", "--test", "50x40"}, kExitUsage, {}},
        {{"calibrate", "--plan", "--force"}, kExitUsage, {}},
        {{"size", "--resolution", "0.5"}, kExitUsage, {}},
        {{"calibrate", "--plan", "--resolution", "0"}, kExitUsage, {}},
        {{"calibrate", "--test", "50x40", "--measured", "50.5X40.4"},
         -1,
         TQueryRequest{.Command = qcCalibrate,
                       .Port = "",
                       .TestSize = {"50", "40"},
                       .MeasuredSizes = {{"50.5", "40.4"}}}},
        {{"calibrate", "--test=289x289", "--measured=290x288", "--force", "--measured=290.5x288",
          "--resolution=0.1"},
         -1,
         TQueryRequest{.Command = qcCalibrate,
                       .Port = "",
                       .Force = true,
                       .TestSize = {"289", "289"},
                       .MeasuredSizes = {{"290", "288"}, {"290.5", "288"}},
                       .ResolutionMm = 0.1}},
        {{"calibrate", "--plan"},
         -1,
         TQueryRequest{.Command = qcCalibrate, .Port = "", .Plan = true}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Arguments.join(' ').toStdString());
        const TCommandLine line = ReadCommandLine(QStringList{"tessaro-query"} + row.Arguments);
        ASSERT_EQ(line.Request.has_value(), row.Request.has_value()) << line.Error;
        if (row.Request) {
            EXPECT_EQ(line.Request->Command, row.Request->Command);
            EXPECT_EQ(line.Request->Port, row.Request->Port);
            EXPECT_EQ(line.Request->Json, row.Request->Json);
            EXPECT_EQ(line.Request->Timeout, row.Request->Timeout);
            const auto values = [](const TQueryRequest& request) {
                const session::TScaleValues set =
                    request.SetScale.value_or(session::TScaleValues{});
                std::vector<std::string> readings;
                for (const session::TCutSize& measured : request.MeasuredSizes) {
                    readings.insert(readings.end(), {measured.X, measured.Y});
                }
                return std::tuple(set.X, set.Y, request.Entry, request.Force, request.Yes,
                                  request.NoJournal, request.TestSize.X, request.TestSize.Y,
                                  readings, request.Plan, request.ResolutionMm);
            };
            EXPECT_EQ(values(*line.Request), values(*row.Request));
            continue;
        }
        EXPECT_EQ(line.ExitCode, row.ExitCode);
        const bool refused = row.ExitCode == kExitUsage;
        EXPECT_EQ(line.Output.empty(), refused);
        EXPECT_EQ(line.Error.starts_with("tessaro-query: ") && line.Error.ends_with(")\n") &&
                      line.Error.find('\n') == line.Error.size() - 1,
                  refused)
            << line.Error;
    }
}

TEST(QueryCommandLine, NamesAWrongOptionAsTyped) {
    const std::pair<QStringList, std::string> rows[] = {
        {{"size", "--bogus=1"}, "unknown option '--bogus'"},
        {{"--json", "-jx", "size"}, "unknown option '-jx'"},
        {{"size", "--port"}, "missing value after '--port'"},
    };
    for (const auto& [arguments, cause] : rows) {
        EXPECT_EQ(ReadCommandLine(QStringList{"tessaro-query"} + arguments).Error,
                  "tessaro-query: " + cause + " (see tessaro-query --help)\n");
    }
}

} // namespace
} // namespace cli::test
