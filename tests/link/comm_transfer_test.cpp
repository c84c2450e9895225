// SPDX-License-Identifier: GPL-3.0-or-later
// Reads, writes, queue counts, modem lines and escape functions of the port component.

#include "link/comm.h"
#include "tests/link/comm_test_support.h"
#include "tests/link/fake_serial_api.h"

#include <gtest/gtest.h>

#include <string>

namespace devlink::test {
namespace {

using fake::TFakeSerialApi;
using fake::TIoStep;
using fake::TSerialCall;

constexpr int kWriteRecord = 0;
constexpr int kReadRecord = 1;
constexpr TIoStep kPending{TIoStatus::ioPending, 0};

class CommTransfer : public ::testing::Test {
protected:
    void SetUp() override {
        Comm.Open();
        ASSERT_TRUE(Comm.Enabled());
        CallsAtStart = Api.CallCount();
    }
    // The calls made since the port opened, without GetLastError.
    std::vector<std::string> CallsSinceOpen() const {
        std::vector<std::string> names;
        const auto calls = Api.Calls();
        for (std::size_t i = CallsAtStart; i < calls.size(); ++i) {
            if (calls[i].Operation != "GetLastError") {
                names.push_back(calls[i].Operation);
            }
        }
        return names;
    }

    TFakeSerialApi Api;
    TRecordingComm Comm{Api};
    std::size_t CallsAtStart = 0;
};

TEST_F(CommTransfer, WriteThatCompletesAtOnceReturnsItsCount) {
    EXPECT_EQ(Comm.Write("OH;", 3), 3);
    EXPECT_EQ(Api.WrittenBytes(), "OH;");
    EXPECT_EQ(Api.CallsOf("WriteFile").back().Record, kWriteRecord);
}

TEST_F(CommTransfer, TransfersReuseTheTwoRecordsMadeAtConstruction) {
    Api.Receive("abc");
    char buffer[4];
    for (int i = 0; i < 3; ++i) {
        Comm.Write("x", 1);
        Comm.Read(buffer, 1);
    }
    EXPECT_EQ(Api.RecordsMade(), 2);
    for (const TSerialCall& call : Api.CallsOf("ReadFile")) {
        EXPECT_EQ(call.Record, kReadRecord);
    }
}

TEST_F(CommTransfer, WriteModeZeroPollsAgainAtOnceUntilTheWriteEnds) {
    Api.ScriptIo("WriteFile", {kPending});
    Api.ScriptIo("GetOverlappedResult",
                 {kPending, kPending, kPending, kPending, {TIoStatus::ioDone, 5}});
    EXPECT_EQ(Comm.WriteEx("hello", 5, 0), 5);
    const auto polls = Api.CallsOf("GetOverlappedResult");
    ASSERT_EQ(polls.size(), 5u);
    for (const TSerialCall& poll : polls) {
        EXPECT_EQ(poll.Value, 0u) << "polled without waiting";
        EXPECT_EQ(poll.Record, kWriteRecord);
    }
    EXPECT_EQ(Api.CountOf("Sleep"), 0);
}

TEST_F(CommTransfer, WriteCountIsTheLastReportedNotTheSumOfPolls) {
    Api.ScriptIo("WriteFile", {kPending});
    Api.ScriptIo("GetOverlappedResult",
                 {{TIoStatus::ioPending, 2}, {TIoStatus::ioPending, 4}, {TIoStatus::ioDone, 6}});
    EXPECT_EQ(Comm.WriteEx("abcdef", 6, 0), 6);
}

TEST_F(CommTransfer, WriteModeOneSleepsBetweenPollsAndGivesUpAfter400) {
    Api.ScriptIo("WriteFile", {kPending});
    std::vector<TIoStep> neverDone(399, kPending);
    neverDone.push_back({TIoStatus::ioPending, 2});
    neverDone.push_back({TIoStatus::ioDone, 99}); // must not be asked for
    Api.ScriptIo("GetOverlappedResult", neverDone);
    EXPECT_EQ(Comm.WriteEx("abcdef", 6, 1), 2);
    EXPECT_EQ(Api.CountOf("GetOverlappedResult"), 400);
    const auto sleeps = Api.CallsOf("Sleep");
    EXPECT_EQ(sleeps.size(), 399u);
    for (const TSerialCall& sleep : sleeps) {
        EXPECT_EQ(sleep.Value, 1u);
    }
}

TEST_F(CommTransfer, WriteModeOneEndsAsSoonAsTheWriteDoes) {
    Api.ScriptIo("WriteFile", {kPending});
    Api.ScriptIo("GetOverlappedResult", {kPending, kPending, {TIoStatus::ioDone, 3}});
    EXPECT_EQ(Comm.WriteEx("OH;", 3, 1), 3);
    EXPECT_EQ(Api.CountOf("Sleep"), 2);
}

TEST_F(CommTransfer, WriteAfterAGiveUpWaitsForTheRunningWriteFirst) {
    Api.ScriptIo("WriteFile", {kPending});
    Api.ScriptIo("GetOverlappedResult", std::vector<TIoStep>(400, kPending));
    Comm.WriteEx("slow", 4, 1);
    const std::size_t pollsBefore = Api.CallsOf("GetOverlappedResult").size();

    Api.ScriptIo("GetOverlappedResult", {{TIoStatus::ioDone, 4}});
    EXPECT_EQ(Comm.Write("OH;", 3), 3);
    const auto calls = Api.Calls();
    const auto write = std::find_if(calls.rbegin(), calls.rend(), [](const TSerialCall& c) {
        return c.Operation == "WriteFile";
    });
    const auto settle = std::find_if(write, calls.rend(), [](const TSerialCall& c) {
        return c.Operation == "GetOverlappedResult";
    });
    ASSERT_NE(settle, calls.rend());
    EXPECT_EQ(settle->Value, 1u) << "waits for the running write";
    EXPECT_EQ(settle->Record, kWriteRecord);
    EXPECT_EQ(Api.CallsOf("GetOverlappedResult").size(), pollsBefore + 1);

    // Settled once: the next write reuses the record straight away.
    Comm.Write("OH;", 3);
    EXPECT_EQ(Api.CallsOf("GetOverlappedResult").size(), pollsBefore + 1);
}

// Its bytes leave by the write's own rule, rather than being thrown away by the purge.
TEST_F(CommTransfer, CloseLetsAWriteThatWasGivenUpEndBeforeClosingTheHandle) {
    Api.ScriptIo("WriteFile", {kPending});
    Api.ScriptIo("GetOverlappedResult", std::vector<TIoStep>(400, kPending));
    Comm.WriteEx("slow", 4, 1);
    Comm.Close();
    std::vector<std::string> tail;
    for (const TSerialCall& call : Api.Calls()) {
        if (call.Operation == "PurgeComm" && call.Value == kPurgeTxAbort) {
            tail.push_back("abort");
        } else if (call.Operation == "GetOverlappedResult" && call.Value == 1) {
            tail.push_back("wait");
        } else if (call.Operation == "CloseHandle") {
            tail.push_back("close");
        }
    }
    EXPECT_EQ(tail, (std::vector<std::string>{"wait", "close"}));
}

TEST_F(CommTransfer, CloseLetsQueuedOutputLeaveBeforeTheEventThreadPurgesAndGivesUpInTime) {
    TComStat stat;
    stat.cbOutQue = 5;
    Api.SetComStat(stat);
    Comm.Close();
    std::vector<std::string> order;
    for (const TSerialCall& call : Api.Calls()) {
        const bool purgeAll = call.Operation == "PurgeComm" && call.Value == 0x0F;
        if ((call.Operation == "Sleep" || purgeAll) &&
            (order.empty() || order.back() != call.Operation)) {
            order.push_back(call.Operation);
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Sleep", "PurgeComm"}));
    EXPECT_EQ(Api.CallsOf("Sleep").size(), 500u);
}

TEST_F(CommTransfer, FailedWriteClearsTheLineErrorAndCountsWhatWasMoved) {
    Api.ScriptIo("WriteFile", {{TIoStatus::ioFailed, 0}});
    EXPECT_EQ(Comm.Write("OH;", 3), 0);
    EXPECT_EQ(CallsSinceOpen(), (std::vector<std::string>{"WriteFile", "ClearCommError"}));

    Api.ScriptIo("WriteFile", {kPending});
    Api.ScriptIo("GetOverlappedResult", {kPending, {TIoStatus::ioFailed, 1}});
    EXPECT_EQ(Comm.Write("OH;", 3), 1);
    EXPECT_EQ(CallsSinceOpen().back(), "ClearCommError");
    EXPECT_NE(Comm.LastError(), TLinkError::leNone);
}

TEST_F(CommTransfer, ReadOfNothingReturnsZeroWithoutReading) {
    Api.Receive("abc");
    char buffer[4];
    EXPECT_EQ(Comm.Read(buffer, 0), 0);
    EXPECT_EQ(CallsSinceOpen(), (std::vector<std::string>{"ClearCommError", "ClearCommError"}));
}

TEST_F(CommTransfer, ReadTakesWhatArrivedAfterClearingLineErrors) {
    Api.Receive("OH;12");
    char buffer[8] = {};
    EXPECT_EQ(Comm.Read(buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), "OH;");
    EXPECT_EQ(CallsSinceOpen(), (std::vector<std::string>{"ClearCommError", "ReadFile"}));
    EXPECT_EQ(Comm.InQueCount(), 2);
}

TEST_F(CommTransfer, PendingReadWaitsOnTheReadRecordUntilItEnds) {
    Api.ScriptIo("ReadFile", {kPending});
    Api.ScriptIo("GetOverlappedResult", {{TIoStatus::ioPending, 1}, {TIoStatus::ioDone, 4}});
    char buffer[8];
    EXPECT_EQ(Comm.Read(buffer, 8), 4);
    for (const TSerialCall& wait : Api.CallsOf("GetOverlappedResult")) {
        EXPECT_EQ(wait.Value, 1u);
        EXPECT_EQ(wait.Record, kReadRecord);
    }
}

TEST_F(CommTransfer, ReadThatFailsReturnsWhatItCounted) {
    char buffer[8];
    Api.ScriptIo("ReadFile", {{TIoStatus::ioFailed, 0}});
    EXPECT_EQ(Comm.Read(buffer, 8), 0);

    Api.ScriptIo("ReadFile", {kPending});
    Api.ScriptIo("GetOverlappedResult", {{TIoStatus::ioFailed, 2}});
    EXPECT_EQ(Comm.Read(buffer, 8), 2);
    EXPECT_EQ(CallsSinceOpen().back(), "ClearCommError");
}

TEST_F(CommTransfer, QueueCountsAndHoldFlagsComeFromTheDeviceStatus) {
    TComStat stat;
    stat.cbOutQue = 12;
    stat.fDsrHold = true;
    Api.SetComStat(stat);
    Api.Receive("abcd");
    EXPECT_EQ(Comm.InQueCount(), 4);
    EXPECT_EQ(Comm.OutQueCount(), 12);
    EXPECT_TRUE(Comm.GetComState(2));
    EXPECT_FALSE(Comm.GetComState(1));
}

TEST_F(CommTransfer, WithoutADeviceStatusQueuesAreEmptyAndNoFlagIsSet) {
    TComStat stat;
    stat.cbOutQue = 12;
    stat.fCtsHold = true;
    Api.SetComStat(stat);
    Api.Receive("abcd");
    Api.Fail("ClearCommError");
    EXPECT_EQ(Comm.InQueCount(), 0);
    EXPECT_EQ(Comm.OutQueCount(), 0);
    EXPECT_FALSE(Comm.GetComState(1));
}

TEST_F(CommTransfer, ComStateSelectorPicksOneHoldFlag) {
    const std::pair<int, bool TComStat::*> selectors[] = {
        {1, &TComStat::fCtsHold},  {2, &TComStat::fDsrHold},  {3, &TComStat::fRlsdHold},
        {4, &TComStat::fXoffHold}, {5, &TComStat::fXoffSent}, {0, &TComStat::fCtsHold},
        {6, &TComStat::fCtsHold},  {-1, &TComStat::fCtsHold}};
    for (const auto& [selector, flag] : selectors) {
        TComStat stat;
        stat.*flag = true;
        Api.SetComStat(stat);
        EXPECT_TRUE(Comm.GetComState(selector)) << selector;
        Api.SetComStat(TComStat{});
        EXPECT_FALSE(Comm.GetComState(selector)) << selector;
    }
}

TEST_F(CommTransfer, ModemStateSelectorPicksOneLine) {
    const std::pair<int, std::uint32_t> lines[] = {
        {1, kMsCtsOn}, {2, kMsDsrOn}, {3, kMsRingOn}, {4, kMsRlsdOn}};
    for (const auto& [selector, bit] : lines) {
        Api.SetModemStatus(bit);
        EXPECT_TRUE(Comm.GetModemState(selector)) << selector;
        Api.SetModemStatus(0xF0 & ~bit);
        EXPECT_FALSE(Comm.GetModemState(selector)) << selector;
    }
    Api.SetModemStatus(0xF0);
    EXPECT_FALSE(Comm.GetModemState(0));
    EXPECT_FALSE(Comm.GetModemState(5));
}

TEST_F(CommTransfer, ModemStateThatCannotBeReadAnswersTrue) {
    Api.Fail("GetCommModemStatus");
    for (int selector = 0; selector <= 5; ++selector) {
        EXPECT_TRUE(Comm.GetModemState(selector)) << selector;
    }
}

TEST_F(CommTransfer, LineStateSettersSendTheirEscapeCodes) {
    Comm.SetDTRState(true);
    Comm.SetDTRState(false);
    Comm.SetRTSState(true);
    Comm.SetRTSState(false);
    Comm.SetXONState(true);
    Comm.SetXONState(false);
    Comm.SetBREAKState(true);
    Comm.SetBREAKState(false);
    std::vector<std::uint32_t> codes;
    for (const TSerialCall& call : Api.CallsOf("EscapeCommFunction")) {
        codes.push_back(call.Value);
    }
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{5, 6, 3, 4, 2, 1, 8, 9}));
    EXPECT_TRUE(Comm.Reports.empty());
}

TEST_F(CommTransfer, BreakDiscardsBothQueuesAfterSettingTheBreak) {
    Api.Receive("junk");
    Comm.SetBREAKState(true);
    const auto calls = Api.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2].Operation, "EscapeCommFunction");
    EXPECT_EQ(calls.back().Operation, "PurgeComm");
    EXPECT_EQ(calls.back().Value, 0x0Fu);
    EXPECT_EQ(Comm.InQueCount(), 0);
}

TEST_F(CommTransfer, PurgesDiscardOneDirectionEach) {
    Comm.PurgeIn();
    EXPECT_EQ(Api.CallsOf("PurgeComm").back().Value, 0x0Au);
    Comm.PurgeOut();
    EXPECT_EQ(Api.CallsOf("PurgeComm").back().Value, 0x05u);
}

} // namespace
} // namespace devlink::test
