// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/in_process_serial.h"

#include <gtest/gtest.h>

#include <future>
#include <string>

namespace sim {
namespace {

using devlink::TIoStatus;
using devlink::TLinkError;
using devlink::TWaitResult;

const std::string kEsc(1, '\x1B');
const std::string kSizeReply = "0,0,24000,50000\r";

class InProcessSerial : public testing::Test {
protected:
    devlink::THandle Open() {
        const devlink::THandle handle = FSerial.CreateFile("COM3");
        EXPECT_NE(handle, devlink::kInvalidHandle);
        return handle;
    }

    void Write(devlink::THandle handle, const std::string& bytes) {
        std::uint32_t transferred = 0;
        ASSERT_EQ(FSerial.WriteFile(handle, *FWriteRecord, bytes.data(),
                                    std::uint32_t(bytes.size()), transferred),
                  TIoStatus::ioDone);
        ASSERT_EQ(transferred, bytes.size());
    }

    std::uint32_t InQueue(devlink::THandle handle) {
        std::uint32_t errors = 0;
        devlink::TComStat stat;
        EXPECT_TRUE(FSerial.ClearCommError(handle, errors, stat));
        return stat.cbInQue;
    }

    TVirtualCutter FCutter;
    TInProcessSerial FSerial{FCutter, "COM3"};
    std::unique_ptr<devlink::TTransferRecord> FWriteRecord = FSerial.CreateTransferRecord();
    std::unique_ptr<devlink::TTransferRecord> FReadRecord = FSerial.CreateTransferRecord();
};

TEST_F(InProcessSerial, OpensItsOwnPortNameInAnyCaseAgainOnceClosed) {
    const devlink::THandle handle = FSerial.CreateFile("com3");
    ASSERT_NE(handle, devlink::kInvalidHandle);
    EXPECT_TRUE(FSerial.IsCharacterDevice(handle));
    EXPECT_TRUE(FSerial.CloseHandle(handle));
    EXPECT_FALSE(FSerial.CloseHandle(handle));
    EXPECT_NE(FSerial.CreateFile("COM3"), devlink::kInvalidHandle);
}

// Each refusal to open reads as the Linux port's refusal of the same kind, so the window
// tells the operator the same reason over either.
struct TOpenRefusalCase {
    const char* Name;
    const char* DeviceName;
    void (*Arrange)(TInProcessSerial&);
    TLinkError Expected;
};

class OpenRefusal : public InProcessSerial, public testing::WithParamInterface<TOpenRefusalCase> {};

TEST_P(OpenRefusal, ReadsAsOnTheLinuxPort) {
    GetParam().Arrange(FSerial);
    EXPECT_EQ(FSerial.CreateFile(GetParam().DeviceName), devlink::kInvalidHandle);
    EXPECT_EQ(FSerial.GetLastError(), GetParam().Expected);
}

const auto kNoArrangement = [](TInProcessSerial&) {};

INSTANTIATE_TEST_SUITE_P(
    Refusals, OpenRefusal,
    testing::Values(
        TOpenRefusalCase{"OtherPort", "COM4", kNoArrangement, TLinkError::leNotFound},
        TOpenRefusalCase{"OtherPortPrefix", "\\\\.\\COM30", kNoArrangement, TLinkError::leNotFound},
        TOpenRefusalCase{"DeviceFileName", "/dev/ttyS0", kNoArrangement, TLinkError::leNotFound},
        TOpenRefusalCase{"Empty", "", kNoArrangement, TLinkError::leNotFound},
        TOpenRefusalCase{"Unplugged", "COM3", [](TInProcessSerial& s) { s.Line().HangUp(); },
                         TLinkError::leNotFound},
        TOpenRefusalCase{"HeldByAnotherProgram", "COM3",
                         [](TInProcessSerial& s) { s.CreateFile("COM3"); }, TLinkError::leBusy}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(InProcessSerial, EveryOperationFailsOnAHandleThatIsNotOpen) {
    const devlink::THandle stale = Open();
    FSerial.CloseHandle(stale);
    devlink::TDcb dcb;
    std::uint32_t value = 0;
    devlink::TComStat stat;
    char buffer[4];
    EXPECT_FALSE(FSerial.SetupComm(stale, 4096, 2048));
    EXPECT_FALSE(FSerial.GetCommState(stale, dcb));
    EXPECT_FALSE(FSerial.SetCommMask(stale, devlink::kEvAll));
    EXPECT_FALSE(FSerial.ClearCommError(stale, value, stat));
    EXPECT_FALSE(FSerial.GetCommModemStatus(stale, value));
    EXPECT_FALSE(FSerial.EscapeCommFunction(stale, devlink::kSetDtr));
    EXPECT_EQ(FSerial.WriteFile(stale, *FWriteRecord, "OH;", 3, value), TIoStatus::ioFailed);
    EXPECT_EQ(FSerial.ReadFile(stale, *FReadRecord, buffer, 4, value), TIoStatus::ioFailed);
    EXPECT_EQ(FSerial.GetLastError(), TLinkError::leOther);
    EXPECT_EQ(FCutter.FlashWriteCount() + FSerial.Line().Transcript().size(), 0u);
}

TEST_F(InProcessSerial, KeepsWhatTheHostConfigures) {
    const devlink::THandle handle = Open();
    devlink::TDcb dcb;
    ASSERT_TRUE(FSerial.GetCommState(handle, dcb));
    dcb.BaudRate = 9600;
    dcb.XonLim = 1024;
    ASSERT_TRUE(FSerial.SetCommState(handle, dcb));
    devlink::TCommTimeouts timeouts{devlink::kMaxDword, 0, 1000, 2, 0};
    ASSERT_TRUE(FSerial.SetCommTimeouts(handle, timeouts));
    ASSERT_TRUE(FSerial.SetupComm(handle, 4096, 2048));
    ASSERT_TRUE(FSerial.EscapeCommFunction(handle, devlink::kSetRts));
    ASSERT_TRUE(FSerial.EscapeCommFunction(handle, devlink::kSetDtr));
    EXPECT_EQ(FSerial.Dcb(), dcb);
    EXPECT_EQ(FSerial.Timeouts(), timeouts);
    EXPECT_EQ(FSerial.InQueueSize(), 4096u);
    EXPECT_TRUE(FSerial.Dtr());
    EXPECT_TRUE(FSerial.Rts());
    dcb.ByteSize = 9;
    EXPECT_FALSE(FSerial.SetCommState(handle, dcb));
    EXPECT_EQ(FSerial.GetLastError(), TLinkError::leOther);
}

TEST_F(InProcessSerial, ModemLinesAnswerUnlessSwitchedOff) {
    const devlink::THandle handle = Open();
    std::uint32_t status = 0;
    ASSERT_TRUE(FSerial.GetCommModemStatus(handle, status));
    EXPECT_EQ(status, devlink::kMsCtsOn | devlink::kMsDsrOn);
    FSerial.SetModemLinesOn(false);
    ASSERT_TRUE(FSerial.GetCommModemStatus(handle, status));
    EXPECT_EQ(status, 0u);
}

TEST_F(InProcessSerial, ReplyIsReadableOnlyOnceDelivered) {
    const devlink::THandle handle = Open();
    Write(handle, "OH;");
    EXPECT_EQ(FSerial.Line().Pending(), kSizeReply.size());
    EXPECT_EQ(InQueue(handle), 0u);
    EXPECT_EQ(FSerial.Line().DeliverNext(5), 5u);
    EXPECT_EQ(InQueue(handle), 5u);
    FSerial.Line().DeliverAll();
    ASSERT_EQ(InQueue(handle), kSizeReply.size());
    char buffer[64] = {};
    std::uint32_t read = 0;
    ASSERT_EQ(FSerial.ReadFile(handle, *FReadRecord, buffer, InQueue(handle), read),
              TIoStatus::ioDone);
    EXPECT_EQ(std::string(buffer, read), kSizeReply);
    EXPECT_EQ(InQueue(handle), 0u);
}

TEST_F(InProcessSerial, ImmediateModeDeliversRepliesAsTheyAreMade) {
    FSerial.Line().SetImmediate(true);
    const devlink::THandle handle = Open();
    Write(handle, kEsc + ".R1:" + kEsc + ".R3:");
    EXPECT_EQ(FSerial.Line().Pending(), 0u);
    EXPECT_EQ(FSerial.Line().Take(100), "0,30,80,250,5,1,0,2\r0,1012,996\r");
}

TEST_F(InProcessSerial, ShortReadStaysPendingUntilBytesArriveOrItsTimeOutEnds) {
    const devlink::THandle handle = Open();
    Write(handle, "OH;");
    FSerial.Line().DeliverNext(4);
    char buffer[64] = {};
    std::uint32_t read = 99;
    ASSERT_EQ(FSerial.ReadFile(handle, *FReadRecord, buffer, 10, read), TIoStatus::ioPending);
    EXPECT_EQ(FSerial.GetLastError(), TLinkError::leIoPending);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(FSerial.GetOverlappedResult(handle, *FReadRecord, false, read), TIoStatus::ioPending);
    EXPECT_EQ(FSerial.GetLastError(), TLinkError::leIoIncomplete);
    FSerial.Line().DeliverNext(6);
    ASSERT_EQ(FSerial.GetOverlappedResult(handle, *FReadRecord, false, read), TIoStatus::ioDone);
    EXPECT_EQ(std::string(buffer, read), "0,0,24000,");

    FSerial.Line().DeliverNext(2);
    ASSERT_EQ(FSerial.ReadFile(handle, *FReadRecord, buffer, 10, read), TIoStatus::ioPending);
    ASSERT_EQ(FSerial.GetOverlappedResult(handle, *FReadRecord, true, read), TIoStatus::ioDone);
    EXPECT_EQ(std::string(buffer, read), "50");
}

TEST_F(InProcessSerial, PurgeAbortsAPendingReadAndClearsTheInputQueue) {
    const devlink::THandle handle = Open();
    Write(handle, "OH;");
    FSerial.Line().DeliverNext(3);
    char buffer[64];
    std::uint32_t read = 0;
    ASSERT_EQ(FSerial.ReadFile(handle, *FReadRecord, buffer, 10, read), TIoStatus::ioPending);
    ASSERT_TRUE(FSerial.PurgeComm(handle, devlink::kPurgeRxAbort | devlink::kPurgeRxClear));
    EXPECT_EQ(FSerial.GetOverlappedResult(handle, *FReadRecord, true, read), TIoStatus::ioFailed);
    EXPECT_EQ(FSerial.GetLastError(), TLinkError::leAborted);
    EXPECT_EQ(InQueue(handle), 0u);
}

TEST_F(InProcessSerial, SlowWriteReachesTheCutterOnlyWhenItCompletes) {
    FSerial.SetWritePolls(2);
    const devlink::THandle handle = Open();
    std::uint32_t written = 0;
    ASSERT_EQ(FSerial.WriteFile(handle, *FWriteRecord, "OH;", 3, written), TIoStatus::ioPending);
    EXPECT_EQ(FSerial.GetLastError(), TLinkError::leIoPending);
    for (int poll = 0; poll < 2; ++poll) {
        EXPECT_EQ(FSerial.GetOverlappedResult(handle, *FWriteRecord, false, written),
                  TIoStatus::ioPending);
        EXPECT_EQ(FSerial.GetLastError(), TLinkError::leIoIncomplete);
        EXPECT_EQ(FSerial.Line().Pending(), 0u);
    }
    ASSERT_EQ(FSerial.GetOverlappedResult(handle, *FWriteRecord, false, written),
              TIoStatus::ioDone);
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(FSerial.Line().Pending(), kSizeReply.size());
}

TEST_F(InProcessSerial, ClosingThePortLosesWhatTheCutterStillSends) {
    devlink::THandle handle = Open();
    Write(handle, "OH;");
    FSerial.Line().DeliverNext(3);
    FSerial.CloseHandle(handle);
    EXPECT_EQ(FSerial.Line().Pending() + FSerial.Line().Readable(), 0u);
    handle = Open();
    EXPECT_EQ(InQueue(handle), 0u);
}

TEST_F(InProcessSerial, WaiterReportsEachDeliveryAndWakesOnCancel) {
    const devlink::THandle handle = Open();
    ASSERT_TRUE(FSerial.SetCommMask(handle, devlink::kEvAll));
    auto waiter = FSerial.CreateEventWaiter(handle);
    Write(handle, "OH;");
    FSerial.Line().DeliverNext(2);
    std::uint32_t mask = 0;
    ASSERT_EQ(waiter->Wait(mask), TWaitResult::wrEvent);
    EXPECT_EQ(mask, devlink::kEvRxChar);

    auto blocked = std::async(std::launch::async, [&] {
        std::uint32_t later = 0;
        return waiter->Wait(later);
    });
    EXPECT_EQ(blocked.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout)
        << "no new bytes: the wait must block";
    FSerial.Line().DeliverNext(2);
    ASSERT_EQ(blocked.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(blocked.get(), TWaitResult::wrEvent);

    auto cancelled = std::async(std::launch::async, [&] {
        std::uint32_t later = 0;
        return waiter->Wait(later);
    });
    waiter->Cancel();
    ASSERT_EQ(cancelled.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(cancelled.get(), TWaitResult::wrCancelled);
    EXPECT_TRUE(waiter->Pause(60000));
}

TEST_F(InProcessSerial, WaiterReportsBytesAlreadyWaitingWhenItStarts) {
    const devlink::THandle handle = Open();
    FSerial.SetCommMask(handle, devlink::kEvRxChar);
    Write(handle, "OH;");
    FSerial.Line().DeliverAll();
    auto waiter = FSerial.CreateEventWaiter(handle);
    std::uint32_t mask = 0;
    EXPECT_EQ(waiter->Wait(mask), TWaitResult::wrEvent);
    EXPECT_EQ(mask, devlink::kEvRxChar);
}

TEST_F(InProcessSerial, HangUpLetsTheLastBytesBeReadThenFailsEverything) {
    TInProcessSerial serial(FCutter, "COM3", [] {
        TFaults faults;
        faults.HangUpAfterBytes = 5;
        return faults;
    }());
    serial.Line().SetImmediate(true);
    const devlink::THandle handle = serial.CreateFile("COM3");
    serial.SetCommMask(handle, devlink::kEvRxChar);
    auto waiter = serial.CreateEventWaiter(handle);
    auto record = serial.CreateTransferRecord();
    std::uint32_t count = 0;
    ASSERT_EQ(serial.WriteFile(handle, *record, "OH;", 3, count), TIoStatus::ioDone);
    std::uint32_t mask = 0;
    EXPECT_EQ(waiter->Wait(mask), TWaitResult::wrEvent);
    EXPECT_EQ(waiter->Wait(mask), TWaitResult::wrHungUp);
    char buffer[64];
    ASSERT_EQ(serial.ReadFile(handle, *record, buffer, 64, count), TIoStatus::ioDone);
    EXPECT_EQ(std::string(buffer, count), "0,0,2");
    EXPECT_EQ(serial.ReadFile(handle, *record, buffer, 64, count), TIoStatus::ioFailed);
    EXPECT_EQ(serial.WriteFile(handle, *record, "OH;", 3, count), TIoStatus::ioFailed);
    serial.CloseHandle(handle);
    EXPECT_EQ(serial.CreateFile("COM3"), devlink::kInvalidHandle) << "the device is gone";
}

TEST_F(InProcessSerial, TranscriptShowsCommandsAndRepliesVisibly) {
    const devlink::THandle handle = Open();
    Write(handle, kEsc + ".R3:");
    const std::vector<std::string> expected = {"< <ESC>.R3:", "> 0,1012,996<CR>"};
    EXPECT_EQ(FSerial.Line().Transcript(), expected);
}

} // namespace
} // namespace sim
