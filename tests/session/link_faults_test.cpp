// SPDX-License-Identifier: GPL-3.0-or-later
// A cutter that misbehaves on the line, on the serial link and on the USB link: each fault
// ends the exchange once, leaves the link closed, reports what the poll cycle reports, and
// the next exchange on a sound cable works.

#include "tests/session/session_test_support.h"

#include <chrono>
#include <thread>

#include <time.h>

namespace session::test {

namespace {

using namespace std::chrono_literals;
using TFaultBench = testsupport::TSessionBench;

const std::vector<std::string> kSizeShown = {"600 mm", "1250 mm"};
const std::vector<std::string> kSettingsShown = {"80",     "0.250 mm", "Light", "Draft",
                                                 "Enable", "Disable",  "Roll"};
constexpr const char* kSettingsQuerySent = "發送命令:\x1B.R1:";

// Bounds the CPU a process may use while a hung-up line waits to be closed: a thread that
// retried its wait without pausing would use most of the time measured.
constexpr auto kQuietSpell = 400ms;
constexpr auto kCpuAllowedInQuietSpell = 100ms;

std::vector<std::string> SizeShown(TFaultBench& bench) {
    const protocol::CutterSettings& settings = bench.Session().Settings();
    return {settings.PollSizeX, settings.PollSizeY};
}

std::vector<std::string> SettingsShown(TFaultBench& bench) {
    const protocol::CutterSettings& settings = bench.Session().Settings();
    return {settings.Force,  settings.Offset,     settings.MediaWeight, settings.Quality,
            settings.Smooth, settings.AutoUnroll, settings.MediaType};
}

// The port name's link, as the session leaves it when nothing is under way.
void ExpectIdleAndClosed(TFaultBench& bench) {
    EXPECT_EQ(bench.View().Asked(protocol::ccPollSize), 0);
    EXPECT_EQ(bench.View().Asked(protocol::ccSettingsQuery), 0);
    EXPECT_TRUE(bench.View().ReplyText().empty());
    EXPECT_FALSE(bench.LinkOpen());
}

// Poll Size on a sound cable, the reply delivered at once: the session reads the media.
void ExpectNextPollSizeWorks(TFaultBench& bench) {
    bench.Replug();
    const int repliesBefore = bench.CountLogStartingWith("接收:");
    bench.Session().PollSize();
    bench.DeliverAll();
    bench.TickUntilIdle();
    EXPECT_EQ(bench.CountLogStartingWith("接收:"), repliesBefore + 1);
    EXPECT_EQ(bench.CountLog("接收:0,0,24000,50000\r"), 1) << "an earlier reply leaked into it";
    EXPECT_EQ(SizeShown(bench), kSizeShown);
    ExpectIdleAndClosed(bench);
}

std::chrono::nanoseconds ProcessCpuTime() {
    timespec used{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return std::chrono::seconds(used.tv_sec) + std::chrono::nanoseconds(used.tv_nsec);
}

// The CPU this process uses over a quiet spell in which the test itself sleeps.
std::chrono::nanoseconds CpuOverQuietSpell() {
    const auto before = ProcessCpuTime();
    std::this_thread::sleep_for(kQuietSpell);
    return ProcessCpuTime() - before;
}

// A cable that goes dead after this many reply bytes.
sim::TFaults HangUpAfter(std::size_t bytes) {
    sim::TFaults faults;
    faults.HangUpAfterBytes = bytes;
    return faults;
}

class LinkFault : public testing::TestWithParam<const char*> {
protected:
    bool OnSerial() const { return std::string(GetParam()) == kSerialPort; }
};

// The session on the link the port name names, the cutter's replies spoiled by `faults`.
class TFaultBenchOn : public TFaultBench {
public:
    explicit TFaultBenchOn(const std::string& portText, const sim::TFaults& faults = {}) {
        Build(OnLink(portText, faults));
    }
};

TEST_P(LinkFault, HangUpMidReplyDecodesWhatCameOnceClosesTheLinkAndNeverSpins) {
    TFaultBenchOn bench(GetParam(), HangUpAfter(7));
    bench.Session().PollSize();
    bench.DeliverAll();
    ASSERT_TRUE(bench.Line().HungUp());
    // The serial port is still open on a dead line: its event thread must idle.
    EXPECT_LT(CpuOverQuietSpell(), kCpuAllowedInQuietSpell);

    bench.TickUntilIdle();
    EXPECT_EQ(bench.CountLogStartingWith("接收:"), 1);
    EXPECT_EQ(bench.CountLog("接收:0,0,240"), 1);
    EXPECT_TRUE(bench.Reported().empty());
    ExpectIdleAndClosed(bench);
    bench.Tick(50);
    EXPECT_EQ(bench.CountLogStartingWith("接收:"), 1) << "the partial reply was decoded again";
    ExpectNextPollSizeWorks(bench);
}

TEST_P(LinkFault, HangUpBeforeAnyReplyEndsWithTheSilenceBox) {
    TFaultBenchOn bench(GetParam(), HangUpAfter(0));
    bench.Session().PollSize();
    bench.DeliverAll();
    bench.TickUntilIdle();
    EXPECT_EQ(bench.CountLogStartingWith("接收:"), 0);
    EXPECT_EQ(bench.Silences, std::vector<std::string>{kDeviceNotFoundText});
    ExpectIdleAndClosed(bench);
    ExpectNextPollSizeWorks(bench);
}

TEST_P(LinkFault, GarbageInsteadOfAReplyEndsTheExchangeOnceWithAtMostOneErrorBox) {
    sim::TFaults faults;
    faults.Garbage = true;
    faults.GarbageSeed = 7;
    TFaultBenchOn bench(GetParam(), faults);
    bench.Session().PollSize();
    bench.DeliverAll();
    bench.TickUntilIdle();
    bench.Tick(50);
    EXPECT_EQ(bench.CountLogStartingWith("接收:"), 1);
    EXPECT_LE(bench.Reported().size(), 1U);
    for (const std::string& refusal : bench.Refusals) {
        EXPECT_NE(refusal.find("is not a valid"), std::string::npos) << refusal;
    }
    EXPECT_EQ(bench.Reported(), bench.Refusals);
    ExpectIdleAndClosed(bench);
    ExpectNextPollSizeWorks(bench);
}

TEST_P(LinkFault, ReplyInManySmallPiecesWithinTheSettleWindowIsDecodedWhole) {
    TFaultBenchOn bench(GetParam());
    bench.Session().PollSize();
    while (bench.Line().Pending() > 0) {
        bench.Deliver(2);
        bench.Tick();
    }
    bench.TickUntilIdle();
    EXPECT_EQ(bench.CountLogStartingWith("接收:"), 1);
    EXPECT_EQ(bench.CountLog("接收:0,0,24000,50000\r"), 1);
    EXPECT_EQ(SizeShown(bench), kSizeShown);
    ExpectIdleAndClosed(bench);
}

TEST_P(LinkFault, ReplyTooSlowForTheSettleWindowLeavesNoTailForTheNextExchange) {
    TFaultBenchOn bench(GetParam());
    bench.Session().PollSize();
    while (bench.View().Asked(protocol::ccPollSize) != 0) {
        bench.Deliver(1);
        bench.Tick();
    }
    EXPECT_EQ(bench.CountLog("接收:0,0,24000,5"), 1);
    ExpectIdleAndClosed(bench);
    // The rest of the slow reply comes after the link was closed.
    bench.DeliverAll();
    bench.Tick(20);
    EXPECT_TRUE(bench.View().ReplyText().empty());
    ExpectNextPollSizeWorks(bench);
}

TEST_P(LinkFault, ReplyWithoutCarriageReturnKeepsTheSizeAndLosesTheLastSettingsCharacter) {
    sim::TFaults faults;
    faults.NoCarriageReturn = true;
    TFaultBenchOn bench(GetParam(), faults);
    bench.Session().PollSize();
    bench.DeliverAll();
    bench.TickUntilIdle();
    EXPECT_EQ(SizeShown(bench), kSizeShown);

    bench.Session().StartMonitor();
    bench.DeliverAll();
    bench.Tick(11);
    std::vector<std::string> expected = kSettingsShown;
    expected.back() = "Single";
    EXPECT_EQ(SettingsShown(bench), expected);
    bench.Session().StopMonitor();
    ExpectIdleAndClosed(bench);
    EXPECT_TRUE(bench.Reported().empty());
}

TEST_P(LinkFault, SilenceDuringLoopDetectStopsTheMonitorOnceAndTheNextLoopWorks) {
    TFaultBenchOn bench(GetParam());
    bench.Session().StartMonitor();
    bench.DeliverAll();
    bench.Tick(11);
    ASSERT_EQ(SettingsShown(bench), kSettingsShown);
    // From here the cutter's answers never arrive.
    const int ticks = bench.TickUntilIdle();
    EXPECT_EQ(ticks, 151);
    EXPECT_EQ(bench.CountLog(kSettingsQuerySent), 2) << "one query, one resend on the 101st tick";
    EXPECT_EQ(bench.Silences, std::vector<std::string>{kDeviceNotFoundText});
    EXPECT_EQ(bench.MonitorStops, 1);
    ExpectIdleAndClosed(bench);
    const std::vector<std::string> log = bench.Log();
    ASSERT_GE(log.size(), 2U);
    EXPECT_EQ(log.back(), "Port has not been opened!") << "the DisDetect action closes again";
    EXPECT_EQ(log[log.size() - 2], OnSerial() ? "Close COM1 OK" : "Port has not been opened!");

    bench.Session().StartMonitor();
    bench.DeliverAll();
    bench.Tick(11);
    EXPECT_EQ(bench.CountLogStartingWith("接收:0,30,80,250,5,1,0,2"), 2);
    EXPECT_TRUE(bench.LinkOpen());
    bench.Session().StopMonitor();
    ExpectIdleAndClosed(bench);
}

TEST_P(LinkFault, LinkRemovedWhileOpenEndsLoopDetectWithoutSpinningAndReplugWorks) {
    TFaultBenchOn bench(GetParam());
    bench.Session().StartMonitor();
    bench.DeliverAll();
    bench.Tick(11);
    ASSERT_TRUE(bench.LinkOpen());
    bench.Unplug();
    EXPECT_LT(CpuOverQuietSpell(), kCpuAllowedInQuietSpell);

    bench.TickUntilIdle();
    EXPECT_EQ(bench.Silences, std::vector<std::string>{kDeviceNotFoundText});
    EXPECT_EQ(bench.MonitorStops, 1);
    ExpectIdleAndClosed(bench);
    if (!OnSerial()) {
        EXPECT_EQ(bench.View().UsbHandle(), 0);
    }
    ExpectNextPollSizeWorks(bench);
}

// The shell's rule gives nothing up on silence: a port gone under the monitor is reported
// lost at its next sending, once, and nothing is left open or under way.
// A line hung up and an adapter pulled out (its writes fail as on a removed device) alike.
TEST_P(LinkFault, UnderTheShellsRuleALinkRemovedUnderTheMonitorIsReportedLostOnce) {
    for (const bool adapterGone : {false, true}) {
        SCOPED_TRACE(adapterGone ? "adapter gone" : "hung up");
        TFaultBenchOn bench(GetParam());
        bench.Session().SetReplyMode(rmShell);
        bench.Session().StartMonitor();
        bench.DeliverAll();
        bench.Tick();
        ASSERT_EQ(SettingsShown(bench), kSettingsShown);
        bench.Unplug(adapterGone);
        bench.Tick(400);
        EXPECT_EQ(bench.PortsLost, std::vector<std::string>{kPortGoneText});
        EXPECT_EQ(bench.Reported(), std::vector<std::string>{});
        ExpectIdleAndClosed(bench);
    }
}

TEST_P(LinkFault, LinkRemovedBeforeAQueryEndsItWithTheSilenceBoxAndNothingOpen) {
    TFaultBenchOn bench(GetParam());
    bench.Unplug();
    bench.Session().PollSize();
    bench.TickUntilIdle();
    EXPECT_EQ(bench.Silences, std::vector<std::string>{kDeviceNotFoundText});
    ExpectIdleAndClosed(bench);
    if (!OnSerial()) {
        EXPECT_EQ(bench.CountLog(kDeviceNotFoundText), 1) << "the USB link says it at once";
    }
    ExpectNextPollSizeWorks(bench);
}

INSTANTIATE_TEST_SUITE_P(EachLink, LinkFault, testing::Values(kSerialPort, kUsbPort),
                         [](const auto& info) { return std::string(info.param); });

} // namespace

} // namespace session::test
