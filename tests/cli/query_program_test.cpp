// SPDX-License-Identifier: GPL-3.0-or-later
// tessaro-query's runs on a session over the in-process virtual cutter, carried by the
// session's own ticks in the event loop: each command sends its query, prints what the
// cutter holds and ends with the port closed; a silent cutter ends with 1 and the window's
// text. No widget is made: the program has a QCoreApplication only.

#include "cli/query_program.h"
#include "tests/support/session_bench.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace cli::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class TQueryProgramTest : public ::testing::Test {
protected:
    TQueryProgramTest() { Bench.RunOnItsOwn(); }

    int Run(TQueryCommand command, bool json = false) {
        return Program.Run({command, "COM1", json});
    }

    testsupport::TSessionBench Bench;
    std::vector<std::string> Printed;
    std::vector<std::string> Errors;
    TQueryProgram Program{Bench.Session,
                          {[this](const std::string& lines) { Printed.push_back(lines); },
                           [this](const std::string& cause) { Errors.push_back(cause); }}};
};

TEST_F(TQueryProgramTest, EachQueryPrintsWhatTheCutterHoldsAndClosesThePort) {
    const struct {
        TQueryCommand Command;
        const char* Sent;
        const char* Printed;
    } rows[] = {
        {qcSize, "OH;", "Poll Size X: 600 mm\nPoll Size Y: 1250 mm\n"},
        {qcSettings, "<ESC>.R1:",
         "Force: 80\nOffset: 0.250 mm\nMedia Weight: Light\nQuality: Draft\nSmooth: Enable\n"
         "Auto Unroll: Disable\nMedia Type: Roll\n"},
        {qcFirmware, "<ESC>.R4:", "Model: TC-60\nVersion: 2.10\n"},
        {qcScale, "<ESC>.R3:", "Scale X: 1000\nScale Y: 1000\n"},
    };
    std::vector<std::string> sent;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Sent);
        Printed.clear();
        EXPECT_EQ(Run(row.Command), kExitAnswered);
        EXPECT_THAT(Printed, ElementsAre(row.Printed));
        sent.push_back(row.Sent);
        EXPECT_EQ(Bench.Commands(), sent);
        EXPECT_FALSE(Bench.Serial.IsOpen());
    }
    EXPECT_THAT(Errors, IsEmpty());
}

TEST_F(TQueryProgramTest, TheMonitorPrintsTheSettingsAndClosesThePortWhenEnded) {
    QObject::connect(&Bench.Session, &session::TCutterSession::SettingsReported,
                     [this] { Program.EndMonitor(kExitAnswered); });
    EXPECT_EQ(Run(qcMonitor, true), kExitAnswered);
    EXPECT_THAT(Printed, ElementsAre(R"({"auto_unroll":false,"force":80,"media_type":"Roll",)"
                                     R"("media_weight":"Light","offset_mm":0.25,"port":"COM1",)"
                                     R"("quality":"Draft","smooth":true})"
                                     "\n"));
    EXPECT_FALSE(Bench.Serial.IsOpen());
}

// An unplugged line: the port is not found.
TEST_F(TQueryProgramTest, ACutterThatDoesNotAnswerEndsWithOneAndTheWindowsText) {
    Bench.Serial.Line().HangUp();
    EXPECT_EQ(Run(qcSize), kExitNoAnswer);
    EXPECT_EQ(Run(qcMonitor), kExitNoAnswer);
    EXPECT_EQ(Program.Run({qcScale, "printer", false}), kExitNoAnswer);
    EXPECT_THAT(Printed, IsEmpty());
    EXPECT_THAT(Errors, ElementsAre("Device not found", "Device not found",
                                    "no port is named printer; the ports: none"));
}

} // namespace
} // namespace cli::test
