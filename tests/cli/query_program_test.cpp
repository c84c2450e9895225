// SPDX-License-Identifier: GPL-3.0-or-later
// tessaro-query's runs on a session over the in-process virtual cutter, carried by the
// session's own ticks in the event loop, for the ports the end-to-end runs cannot give it:
// one unplugged, one no port list names. No widget is made: the program has a
// QCoreApplication only.

#include "cli/query_program.h"
#include "tests/support/session_bench.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace cli::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// An unplugged line: the port is not found. A name the port list does not show: the ports
// it does show.
TEST(QueryProgram, APortThatIsGoneOrUnknownEndsWithOneAndSaysWhy) {
    testsupport::TSessionBench bench;
    std::vector<std::string> printed;
    std::vector<std::string> errors;
    TQueryProgram program{bench.Build(),
                          {[&printed](const std::string& lines) { printed.push_back(lines); },
                           [&errors](const std::string& cause) { errors.push_back(cause); }}};
    // The session's own ticks carry whole exchanges, the cutter's replies arriving as soon
    // as it makes them.
    bench.Line().SetImmediate(true);
    bench.Session().Timer1.SetEnabled(true);
    bench.Line().HangUp();
    EXPECT_EQ(program.Run({qcSize, "COM1", false}), kExitNoAnswer);
    EXPECT_EQ(program.Run({qcMonitor, "COM1", false}), kExitNoAnswer);
    EXPECT_EQ(program.Run({qcScale, "printer", false}), kExitNoAnswer);
    EXPECT_THAT(printed, IsEmpty());
    EXPECT_THAT(errors, ElementsAre("COM1: Device not found", "COM1: Device not found",
                                    "no port is named printer; the ports: COM1 (/dev/ttyS0)"));
}

} // namespace
} // namespace cli::test
