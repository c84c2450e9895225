// SPDX-License-Identifier: GPL-3.0-or-later
// A cutter that misbehaves on the line, on the serial link and on the USB link: each fault
// ends the exchange once, leaves the link closed and the panel usable, tells the operator
// what the poll cycle tells, and the next exchange on a sound cable works.

#include "tests/hardening/hardening_support.h"

#include <QPushButton>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace hardening::test {

namespace {

using namespace std::chrono_literals;

const std::vector<std::string> kSizeShown = {"600 mm", "1250 mm"};
const std::vector<std::string> kSettingsShown = {"80",     "0.250 mm", "Light", "Draft",
                                                 "Enable", "Disable",  "Roll"};
constexpr const char* kSettingsQuerySent = "發送命令:\x1B.R1:";

// Bounds the CPU a process may use while a hung-up line waits to be closed: a thread that
// retried its wait without pausing would use most of the time measured.
constexpr auto kQuietSpell = 400ms;
constexpr auto kCpuAllowedInQuietSpell = 100ms;

std::vector<std::string> SizeShown(TFaultBench& bench) {
    const std::vector<std::string> panel = bench.PanelTexts();
    return {panel[0], panel[1]};
}

std::vector<std::string> SettingsShown(TFaultBench& bench) {
    const std::vector<std::string> panel = bench.PanelTexts();
    return {panel.begin() + 2, panel.end()};
}

// The port list's link, as the panel leaves it when nothing is under way.
void ExpectIdleAndClosed(TFaultBench& bench) {
    app::TMainForm& form = bench.Form();
    EXPECT_EQ(form.Session().ExchangeState().FPollSizeRequest, 0);
    EXPECT_EQ(form.Session().ExchangeState().FLoopDetect, 0);
    EXPECT_TRUE(form.Session().ExchangeState().FReplyText.empty());
    EXPECT_FALSE(bench.LinkOpen());
    EXPECT_TRUE(form.BnPollSize->isEnabled());
    EXPECT_TRUE(form.BnLoopDetect->isEnabled());
    EXPECT_FALSE(form.BnDisDetect->isEnabled());
}

// Poll Size on a sound cable, the reply delivered at once: the panel shows the media.
void ExpectNextPollSizeWorks(TFaultBench& bench) {
    bench.Replug();
    const int repliesBefore = bench.CountLogStartingWith("接收:");
    bench.Form().BnPollSizeClick();
    bench.DeliverAll();
    bench.TickUntilIdle();
    EXPECT_EQ(bench.CountLogStartingWith("接收:"), repliesBefore + 1);
    EXPECT_EQ(bench.CountLog("接收:0,0,24000,50000"), 1) << "an earlier reply leaked into it";
    EXPECT_EQ(SizeShown(bench), kSizeShown);
    ExpectIdleAndClosed(bench);
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

TEST_P(LinkFault, HangUpMidReplyDecodesWhatCameOnceClosesTheLinkAndNeverSpins) {
    TFaultBench bench(GetParam(), HangUpAfter(7));
    bench.Form().BnPollSizeClick();
    bench.DeliverAll();
    ASSERT_TRUE(bench.Line().HungUp());
    // The serial port is still open on a dead line: its event thread must idle.
    EXPECT_LT(CpuOverQuietSpell(), kCpuAllowedInQuietSpell);

    bench.TickUntilIdle();
    EXPECT_EQ(bench.CountLogStartingWith("接收:"), 1);
    EXPECT_EQ(bench.CountLog("接收:0,0,240"), 1);
    EXPECT_TRUE(bench.Prompts.Shown.empty());
    ExpectIdleAndClosed(bench);
    bench.Tick(50);
    EXPECT_EQ(bench.CountLogStartingWith("接收:"), 1) << "the partial reply was decoded again";
    ExpectNextPollSizeWorks(bench);
}

TEST_P(LinkFault, HangUpBeforeAnyReplyEndsWithTheSilenceBox) {
    TFaultBench bench(GetParam(), HangUpAfter(0));
    bench.Form().BnPollSizeClick();
    bench.DeliverAll();
    bench.TickUntilIdle();
    EXPECT_EQ(bench.CountLogStartingWith("接收:"), 0);
    EXPECT_EQ(bench.Prompts.TextsOf(TRecordingPrompts::pkMessageBox),
              std::vector<std::string>{session::kDeviceNotFoundText});
    ExpectIdleAndClosed(bench);
    ExpectNextPollSizeWorks(bench);
}

TEST_P(LinkFault, GarbageInsteadOfAReplyEndsTheExchangeOnceWithAtMostOneErrorBox) {
    sim::TFaults faults;
    faults.Garbage = true;
    faults.GarbageSeed = 7;
    TFaultBench bench(GetParam(), faults);
    bench.Form().BnPollSizeClick();
    bench.DeliverAll();
    bench.TickUntilIdle();
    bench.Tick(50);
    EXPECT_EQ(bench.CountLogStartingWith("接收:"), 1);
    EXPECT_LE(bench.Prompts.Shown.size(), 1U);
    for (const auto& shown : bench.Prompts.Shown) {
        EXPECT_EQ(shown.Kind, TRecordingPrompts::pkException);
        EXPECT_NE(shown.Text.find("is not a valid"), std::string::npos) << shown.Text;
    }
    ExpectIdleAndClosed(bench);
    ExpectNextPollSizeWorks(bench);
}

TEST_P(LinkFault, ReplyInManySmallPiecesWithinTheSettleWindowIsDecodedWhole) {
    TFaultBench bench(GetParam());
    bench.Form().BnPollSizeClick();
    while (bench.Line().Pending() > 0) {
        bench.Deliver(2);
        bench.Tick();
    }
    bench.TickUntilIdle();
    EXPECT_EQ(bench.CountLogStartingWith("接收:"), 1);
    EXPECT_EQ(bench.CountLog("接收:0,0,24000,50000"), 1);
    EXPECT_EQ(SizeShown(bench), kSizeShown);
    ExpectIdleAndClosed(bench);
}

TEST_P(LinkFault, ReplyTooSlowForTheSettleWindowLeavesNoTailForTheNextExchange) {
    TFaultBench bench(GetParam());
    bench.Form().BnPollSizeClick();
    while (bench.Session().ExchangeState().FPollSizeRequest != 0) {
        bench.Deliver(1);
        bench.Tick();
    }
    EXPECT_EQ(bench.CountLog("接收:0,0,24000,5"), 1);
    ExpectIdleAndClosed(bench);
    // The rest of the slow reply comes after the link was closed.
    bench.DeliverAll();
    bench.Tick(20);
    EXPECT_TRUE(bench.Session().ExchangeState().FReplyText.empty());
    ExpectNextPollSizeWorks(bench);
}

TEST_P(LinkFault, ReplyWithoutCarriageReturnKeepsTheSizeAndLosesTheLastSettingsCharacter) {
    sim::TFaults faults;
    faults.NoCarriageReturn = true;
    TFaultBench bench(GetParam(), faults);
    bench.Form().BnPollSizeClick();
    bench.DeliverAll();
    bench.TickUntilIdle();
    EXPECT_EQ(SizeShown(bench), kSizeShown);

    bench.Form().BnLoopDetectClick();
    bench.DeliverAll();
    bench.Tick(11);
    std::vector<std::string> expected = kSettingsShown;
    expected.back() = "Single";
    EXPECT_EQ(SettingsShown(bench), expected);
    bench.Form().BnDisDetectClick();
    ExpectIdleAndClosed(bench);
    EXPECT_TRUE(bench.Prompts.Shown.empty());
}

TEST_P(LinkFault, SilenceDuringLoopDetectStopsTheMonitorOnceAndTheNextLoopWorks) {
    TFaultBench bench(GetParam());
    bench.Form().BnLoopDetectClick();
    bench.DeliverAll();
    bench.Tick(11);
    ASSERT_EQ(SettingsShown(bench), kSettingsShown);
    // From here the cutter's answers never arrive.
    const int ticks = bench.TickUntilIdle();
    EXPECT_EQ(ticks, 151);
    EXPECT_EQ(bench.CountLog(kSettingsQuerySent), 2) << "one query, one resend on the 101st tick";
    EXPECT_EQ(bench.Prompts.TextsOf(TRecordingPrompts::pkMessageBox),
              std::vector<std::string>{session::kDeviceNotFoundText});
    ExpectIdleAndClosed(bench);
    const std::vector<std::string> log = bench.Log();
    ASSERT_GE(log.size(), 2U);
    EXPECT_EQ(log.back(), "Port has not been opened!") << "the DisDetect action closes again";
    EXPECT_EQ(log[log.size() - 2], OnSerial() ? "Close COM1 OK" : "Port has not been opened!");

    bench.Form().BnLoopDetectClick();
    bench.DeliverAll();
    bench.Tick(11);
    EXPECT_EQ(bench.CountLogStartingWith("接收:0,30,80,250,5,1,0,2"), 2);
    EXPECT_TRUE(bench.LinkOpen());
    bench.Form().BnDisDetectClick();
    ExpectIdleAndClosed(bench);
}

TEST_P(LinkFault, LinkRemovedWhileOpenEndsLoopDetectWithoutSpinningAndReplugWorks) {
    TFaultBench bench(GetParam());
    bench.Form().BnLoopDetectClick();
    bench.DeliverAll();
    bench.Tick(11);
    ASSERT_TRUE(bench.LinkOpen());
    bench.Unplug();
    EXPECT_LT(CpuOverQuietSpell(), kCpuAllowedInQuietSpell);

    bench.TickUntilIdle();
    EXPECT_EQ(bench.Prompts.TextsOf(TRecordingPrompts::pkMessageBox),
              std::vector<std::string>{session::kDeviceNotFoundText});
    ExpectIdleAndClosed(bench);
    if (!OnSerial()) {
        EXPECT_EQ(bench.Session().ExchangeState().FUsbHandle, 0);
    }
    ExpectNextPollSizeWorks(bench);
}

TEST_P(LinkFault, LinkRemovedBeforeAQueryEndsItWithTheSilenceBoxAndNothingOpen) {
    TFaultBench bench(GetParam());
    bench.Unplug();
    bench.Form().BnPollSizeClick();
    bench.TickUntilIdle();
    EXPECT_EQ(bench.Prompts.TextsOf(TRecordingPrompts::pkMessageBox),
              std::vector<std::string>{session::kDeviceNotFoundText});
    ExpectIdleAndClosed(bench);
    if (!OnSerial()) {
        EXPECT_EQ(bench.CountLog(session::kDeviceNotFoundText), 1)
            << "the USB link says it at once";
    }
    ExpectNextPollSizeWorks(bench);
}

INSTANTIATE_TEST_SUITE_P(EachLink, LinkFault, testing::Values(kSerialPort, kUsbPort),
                         [](const auto& info) { return std::string(info.param); });

} // namespace

} // namespace hardening::test
