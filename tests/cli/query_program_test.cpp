// SPDX-License-Identifier: GPL-3.0-or-later
// tessaro-query's runs on a session over the in-process virtual cutter, carried by the
// session's own ticks in the event loop, for the ports the end-to-end runs cannot give it:
// one unplugged, one no port list names. No widget is made: the program has a
// QCoreApplication only.

#include "cli/port_choice.h"
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
    bench.View().Timer1().SetEnabled(true);
    bench.Line().HangUp();
    EXPECT_EQ(program.Run({qcSize, "COM1", false}), kExitNoAnswer);
    EXPECT_EQ(program.Run({qcMonitor, "COM1", false}), kExitNoAnswer);
    EXPECT_EQ(program.Run({qcScale, "printer\x1B[2J\r", false}), kExitNoAnswer);
    EXPECT_THAT(printed, IsEmpty());
    EXPECT_THAT(errors, ElementsAre("COM1: Device not found", "COM1: Device not found",
                                    "no port is named printer\\x1B[2J\\r; the ports: COM1 "
                                    "(/dev/ttyS0)"));
}

// An entry by its name in any case or by its device path, or a USB device; whatever else
// is typed is refused with the list, a device path never matching an entry without one.
TEST(QueryPortChoice, APortIsAnEntryOrAUsbDeviceElseTheListIsShown) {
    const std::vector<session::TPortEntry> entries = {{"COM3", true, "/dev/ttyS2", ""},
                                                      {"COM240", true, "", ""}};
    const struct {
        const char* Typed;
        const char* Chosen; // empty: refused
    } rows[] = {
        {"com3", "COM3"},        {"\\\\.\\COM3", "COM3"}, {"/dev/ttyS2", "COM3"}, {"usb3", "USB3"},
        {"/dev/X", ""},          {"COM 3", ""},           {"xCOM3", ""},          {"COM", ""},
        {"COM999999999999", ""}, {"ttyS2", ""},           {"USB10", ""},          {"usb4", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Typed);
        const TPortChoice choice = PortNamed(row.Typed, entries);
        EXPECT_EQ(choice.PortName, row.Chosen);
        EXPECT_EQ(choice.Failure.ends_with("; the ports: COM3 (/dev/ttyS2), COM240"),
                  choice.PortName.empty())
            << choice.Failure;
    }
}

struct TAnswerRow {
    const char* Name;
    sim::TFaults Faults;
    TQueryRequest Request;
    int Exit;
    std::vector<std::string> Printed;
    std::vector<std::string> Errors;
};

sim::TFaults Faults(void (*set)(sim::TFaults&)) {
    sim::TFaults faults;
    set(faults);
    return faults;
}

// Only one whole reply is printed with exit 0; anything else is exit 1 quoting what came,
// and silence names the time waited.
TEST(QueryProgram, PrintsOneWholeReplyOrEndsWithOneQuotingWhatCame) {
    using std::chrono::milliseconds;
    const TAnswerRow rows[] = {
        {"whole",
         {},
         {qcSize, "COM1"},
         kExitAnswered,
         {"Poll Size X: 600 mm\nPoll Size Y: 1250 mm\n"},
         {}},
        {"short answer",
         Faults([](sim::TFaults& f) { f.DropByteOfReply = 1; }),
         {qcSize, "COM1"},
         kExitNoAnswer,
         {},
         {"COM1: the answer was not one whole size reply (it did not hold the reply's number of "
          "fields): '0,024000,50000\\r'"}},
        {"short firmware answer",
         Faults([](sim::TFaults& f) { f.DropByteOfReply = 1; }),
         {qcFirmware, "COM1"},
         kExitNoAnswer,
         {},
         {"COM1: the answer was not one whole firmware reply (it did not hold the reply's number "
          "of fields): '0,0TC-60,2.10 0305\\r'"}},
        {"no CR",
         Faults([](sim::TFaults& f) { f.NoCarriageReturn = true; }),
         {qcSettings, "COM1"},
         kExitNoAnswer,
         {},
         {"COM1: the answer was not one whole settings reply (no carriage return ended it): "
          "'0,30,80,250,5,1,0,2'"}},
        {"silent",
         testsupport::SilentCutter(),
         {qcSize, "COM1", false, milliseconds(250)},
         kExitNoAnswer,
         {},
         {"COM1: no answer within 0.3 s"}},
    };
    for (const TAnswerRow& row : rows) {
        SCOPED_TRACE(row.Name);
        testsupport::TSessionBench bench;
        std::vector<std::string> printed;
        std::vector<std::string> errors;
        TQueryProgram program{bench.Build(testsupport::OnLink("COM1", row.Faults)),
                              {[&printed](const std::string& lines) { printed.push_back(lines); },
                               [&errors](const std::string& cause) { errors.push_back(cause); }}};
        bench.Line().SetImmediate(true);
        bench.View().Timer1().SetEnabled(true);
        EXPECT_EQ(program.Run(row.Request), row.Exit);
        EXPECT_EQ(printed, row.Printed);
        EXPECT_EQ(errors, row.Errors);
        EXPECT_FALSE(bench.View().QueryOutstanding());
        EXPECT_FALSE(bench.SerialPortOpen());
    }
}

} // namespace
} // namespace cli::test
