// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/reply_plan.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

namespace sim {
namespace {

const std::string kReply = "0,0,24000,50000\r";

TEST(ReplyShaper, PacesBytesAtTheLineRateAfterTheDelay) {
    TReplyShaper shaper({}, 20);
    const TReplyPlan plan = shaper.Shape(kReply);
    EXPECT_EQ(plan.Text(), kReply);
    EXPECT_FALSE(plan.HangUp);
    ASSERT_EQ(plan.Bytes.size(), kReply.size());
    for (std::size_t i = 0; i < plan.Bytes.size(); ++i) {
        EXPECT_NEAR(plan.Bytes[i].DueMs, 20 + (i + 1) * kByteMilliseconds, 1e-9) << i;
    }
    EXPECT_NEAR(kByteMilliseconds, 1.0417, 1e-4);
}

TEST(ReplyShaper, LateReplyStartsAfterTheExtraWait) {
    TFaults faults;
    faults.LateMs = 300;
    const TReplyPlan plan = TReplyShaper(faults, 10).Shape(kReply);
    EXPECT_EQ(plan.Text(), kReply);
    EXPECT_NEAR(plan.Bytes.front().DueMs, 310 + kByteMilliseconds, 1e-9);
}

TEST(ReplyShaper, ChunkedReplyPausesAfterEveryChunk) {
    TFaults faults;
    faults.ChunkGapMs = 100;
    const TReplyPlan plan = TReplyShaper(faults, 0).Shape(kReply);
    EXPECT_EQ(plan.Text(), kReply);
    for (std::size_t i = 1; i < plan.Bytes.size(); ++i) {
        const double step = plan.Bytes[i].DueMs - plan.Bytes[i - 1].DueMs;
        const double expected = kByteMilliseconds + (i % kChunkBytes == 0 ? 100 : 0);
        EXPECT_NEAR(step, expected, 1e-9) << i;
    }
}

TEST(ReplyShaper, SilentCutterSendsNothing) {
    TFaults faults;
    faults.Silent = true;
    const TReplyPlan plan = TReplyShaper(faults, 0).Shape(kReply);
    EXPECT_TRUE(plan.Bytes.empty());
    EXPECT_FALSE(plan.HangUp);
}

TEST(ReplyShaper, EndingFaultsChangeOnlyTheClosingCarriageReturn) {
    TFaults noCr;
    noCr.NoCarriageReturn = true;
    EXPECT_EQ(TReplyShaper(noCr, 0).Shape(kReply).Text(), "0,0,24000,50000");
    TFaults crLf;
    crLf.CrLf = true;
    EXPECT_EQ(TReplyShaper(crLf, 0).Shape(kReply).Text(), "0,0,24000,50000\r\n");
}

TEST(ReplyShaper, FlashBusyDelaysOnlyTheFirstReplyAfterAWrite) {
    TFaults faults;
    faults.FlashBusyMs = 400;
    TReplyShaper shaper(faults, 10);
    const auto firstDue = [&shaper] { return shaper.Shape(kReply).Bytes.front().DueMs; };
    EXPECT_NEAR(firstDue(), 10 + kByteMilliseconds, 1e-9);
    shaper.NoteFlashWrite();
    EXPECT_NEAR(firstDue(), 410 + kByteMilliseconds, 1e-9);
    EXPECT_NEAR(firstDue(), 10 + kByteMilliseconds, 1e-9);
}

TEST(ReplyShaper, GarbageKeepsTheLengthAndIsRepeatablePerSeed) {
    TFaults faults;
    faults.Garbage = true;
    faults.GarbageSeed = 7;
    const std::string first = TReplyShaper(faults, 0).Shape(kReply).Text();
    const std::string again = TReplyShaper(faults, 0).Shape(kReply).Text();
    faults.GarbageSeed = 8;
    const std::string other = TReplyShaper(faults, 0).Shape(kReply).Text();
    EXPECT_EQ(first.size(), kReply.size());
    EXPECT_NE(first, kReply);
    EXPECT_EQ(first, again);
    EXPECT_NE(first, other);
    EXPECT_EQ(first.find('\0'), std::string::npos);
}

TEST(ReplyShaper, HangUpCountsBytesAcrossReplies) {
    TFaults faults;
    faults.HangUpAfterBytes = 20;
    TReplyShaper shaper(faults, 0);
    const TReplyPlan first = shaper.Shape(kReply);
    EXPECT_EQ(first.Text(), kReply);
    EXPECT_FALSE(first.HangUp);
    const TReplyPlan second = shaper.Shape(kReply);
    EXPECT_EQ(second.Text(), "0,0,");
    EXPECT_TRUE(second.HangUp);
    EXPECT_TRUE(shaper.HungUp());
    const TReplyPlan third = shaper.Shape(kReply);
    EXPECT_TRUE(third.Bytes.empty());
    EXPECT_TRUE(third.HangUp);
}

TEST(ReplyShaper, HangUpAfterZeroBytesSendsNothing) {
    TFaults faults;
    faults.HangUpAfterBytes = 0;
    const TReplyPlan plan = TReplyShaper(faults, 0).Shape(kReply);
    EXPECT_TRUE(plan.Bytes.empty());
    EXPECT_TRUE(plan.HangUp);
}

TEST(ReplyShaper, DropByteLosesOneByteOfTheNamedReplyOnly) {
    TFaults faults;
    faults.DropByteOfReply = 2;
    TReplyShaper shaper(faults, 0);
    EXPECT_EQ(shaper.Shape("0,1000,1000\r").Text(), "0,1000,1000\r");
    EXPECT_EQ(shaper.Shape("0,1000,1000\r").Text(), "0,100,1000\r");
    EXPECT_EQ(shaper.Shape("0,1000,1000\r").Text(), "0,1000,1000\r");
}

TEST(ReplyShaper, NoiseFollowsTheWholeReplyAfterTheGap) {
    TFaults faults;
    faults.NoiseAfterMs = 300;
    TReplyShaper shaper(faults, 10);
    const TReplyPlan plan = shaper.Shape("0,1\r");
    ASSERT_EQ(plan.Bytes.size(), 4 + kNoiseBytes);
    EXPECT_EQ(plan.Text().substr(0, 4), "0,1\r");
    EXPECT_GE(plan.Bytes[4].DueMs, plan.Bytes[3].DueMs + 300);
}

struct TFaultTextCase {
    const char* FaultText;
    TFaults Expected;
};

TFaults With(void (*set)(TFaults&)) {
    TFaults faults;
    set(faults);
    return faults;
}

void PrintTo(const TFaultTextCase& faultCase, std::ostream* out) {
    *out << faultCase.FaultText;
}

class FaultTexts : public testing::TestWithParam<TFaultTextCase> {};

TEST_P(FaultTexts, SetTheNamedFault) {
    TFaults faults;
    std::string error;
    ASSERT_TRUE(ParseFault(GetParam().FaultText, faults, error)) << error;
    EXPECT_EQ(faults, GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Valid, FaultTexts,
    testing::Values(
        TFaultTextCase{"silent", With([](TFaults& f) { f.Silent = true; })},
        TFaultTextCase{"late", With([](TFaults& f) { f.LateMs = 500; })},
        TFaultTextCase{"late:250", With([](TFaults& f) { f.LateMs = 250; })},
        TFaultTextCase{"chunked", With([](TFaults& f) { f.ChunkGapMs = 100; })},
        TFaultTextCase{"chunked:40", With([](TFaults& f) { f.ChunkGapMs = 40; })},
        TFaultTextCase{"garbage", With([](TFaults& f) { f.Garbage = true; })},
        TFaultTextCase{"garbage:9", With([](TFaults& f) {
                           f.Garbage = true;
                           f.GarbageSeed = 9;
                       })},
        TFaultTextCase{"no-cr", With([](TFaults& f) { f.NoCarriageReturn = true; })},
        TFaultTextCase{"crlf", With([](TFaults& f) { f.CrLf = true; })},
        TFaultTextCase{"flash-busy:1500", With([](TFaults& f) { f.FlashBusyMs = 1500; })},
        TFaultTextCase{"hangup", With([](TFaults& f) { f.HangUpAfterBytes = 5; })},
        TFaultTextCase{"hangup:0", With([](TFaults& f) { f.HangUpAfterBytes = 0; })},
        TFaultTextCase{"drop-byte:2", With([](TFaults& f) { f.DropByteOfReply = 2; })},
        TFaultTextCase{"noise", With([](TFaults& f) { f.NoiseAfterMs = 300; })},
        TFaultTextCase{"ignore-write", With([](TFaults& f) { f.IgnoreFlashWrites = true; })}),
    [](const auto& info) {
        std::string name;
        for (const char* c = info.param.FaultText; *c != '\0'; ++c) {
            name.push_back(std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_');
        }
        return name;
    });

TEST(FaultTexts, RejectsUnknownNamesAndBadArguments) {
    for (const char* faultText :
         {"", "loud", "late:", "late:-5", "late:1x", "late:99999999999", "silent:3", "no-cr:1",
          "hangup:abc", "Silent", "drop-byte:0", "ignore-write:1"}) {
        TFaults faults;
        std::string error;
        EXPECT_FALSE(ParseFault(faultText, faults, error)) << faultText;
        EXPECT_FALSE(error.empty()) << faultText;
        EXPECT_EQ(faults, TFaults{}) << faultText;
    }
}

} // namespace
} // namespace sim
