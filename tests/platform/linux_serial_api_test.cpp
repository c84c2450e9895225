// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linux_serial_api.h"

#include "platform/linux/last_error.h"
#include "serial_pty_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <termios.h>
#include <thread>

namespace platform::test {
namespace {

using devlink::TIoStatus;
using devlink::TLinkError;
using namespace std::chrono_literals;

class LinuxSerialApi : public TSerialPtyFixture {
protected:
    // A failure the link has no word of its own for, kept with its errno for the log.
    void ExpectOtherFailure(int errnoValue) {
        EXPECT_EQ(FApi.GetLastError(), TLinkError::leOther);
        EXPECT_EQ(LastErrno(), errnoValue);
    }
};

TEST_F(LinuxSerialApi, OpensARegisteredPortAsACharacterDevice) {
    const devlink::THandle handle = OpenPort();
    EXPECT_TRUE(FApi.IsCharacterDevice(handle));
    EXPECT_TRUE(FApi.CloseHandle(handle));
}

TEST_F(LinuxSerialApi, FailsAsAMissingDeviceForAnyNameOutsideTheTable) {
    for (const std::string& name :
         {std::string("COM201"), std::string("COM"), FPty.SlavePath().string(),
          std::string("\\\\.\\..\\COM200"), std::string("COM200\n"), std::string(70000, '\\')}) {
        EXPECT_EQ(FApi.CreateFile(name), devlink::kInvalidHandle) << name.substr(0, 30);
        EXPECT_EQ(FApi.GetLastError(), TLinkError::leNotFound);
    }
}

TEST_F(LinuxSerialApi, RefusesASecondOpenOfTheSamePortAsBusyUntilTheFirstCloses) {
    const devlink::THandle first = OpenPort();
    TLinuxSerialApi otherInstance(TPortTable(RootsWithoutHardware(FNoHardware)));
    EXPECT_EQ(otherInstance.CreateFile(kPortName), devlink::kInvalidHandle);
    EXPECT_EQ(otherInstance.GetLastError(), TLinkError::leBusy);
    EXPECT_EQ(FApi.CreateFile(kPortName), devlink::kInvalidHandle);
    EXPECT_EQ(FApi.GetLastError(), TLinkError::leBusy);
    ASSERT_TRUE(FApi.CloseHandle(first));
    const devlink::THandle again = otherInstance.CreateFile(kPortName);
    EXPECT_NE(again, devlink::kInvalidHandle);
    otherInstance.CloseHandle(again);
}

TEST_F(LinuxSerialApi, RefusesACharacterDeviceThatIsNoTerminal) {
    FRuntime.Register("COM201", "/dev/null");
    EXPECT_EQ(FApi.CreateFile("COM201"), devlink::kInvalidHandle);
    ExpectOtherFailure(ENOTTY);
}

TEST_F(LinuxSerialApi, RefusesEveryOperationOnAHandleNotOpen) {
    const devlink::THandle handle = OpenPort();
    ASSERT_TRUE(FApi.CloseHandle(handle));
    devlink::TDcb dcb;
    devlink::TComStat stat;
    std::uint32_t value = 0;
    auto record = FApi.CreateTransferRecord();
    char byte = 0;
    for (devlink::THandle stale :
         {handle, devlink::THandle{0}, devlink::kInvalidHandle, devlink::THandle{4711}}) {
        EXPECT_FALSE(FApi.IsCharacterDevice(stale));
        EXPECT_FALSE(FApi.CloseHandle(stale));
        EXPECT_FALSE(FApi.SetupComm(stale, 4096, 2048));
        EXPECT_FALSE(FApi.GetCommState(stale, dcb));
        EXPECT_FALSE(FApi.SetCommState(stale, dcb));
        EXPECT_FALSE(FApi.SetCommMask(stale, devlink::kEvAll));
        EXPECT_EQ(FApi.WriteFile(stale, *record, "x", 1, value), TIoStatus::ioFailed);
        EXPECT_EQ(FApi.ReadFile(stale, *record, &byte, 1, value), TIoStatus::ioFailed);
        EXPECT_FALSE(FApi.ClearCommError(stale, value, stat));
        EXPECT_FALSE(FApi.PurgeComm(stale, 0x0F));
        EXPECT_FALSE(FApi.EscapeCommFunction(stale, devlink::kSetDtr));
        EXPECT_FALSE(FApi.GetCommModemStatus(stale, value));
        EXPECT_EQ(FApi.CreateEventWaiter(stale), nullptr);
        ExpectOtherFailure(EBADF);
    }
}

TEST_F(LinuxSerialApi, NeverHandsOutAClosedHandleAgain) {
    const devlink::THandle first = OpenPort();
    FApi.CloseHandle(first);
    const devlink::THandle second = OpenPort();
    EXPECT_NE(second, first);
    EXPECT_FALSE(FApi.IsCharacterDevice(first));
}

TEST_F(LinuxSerialApi, PassesEveryByteValueUnchangedBothWays) {
    const devlink::THandle handle = OpenPort();
    SetReadRule(handle);
    std::string everyByte;
    for (int value = 0; value < 256; ++value) {
        everyByte.push_back(static_cast<char>(value));
    }
    auto writeRecord = FApi.CreateTransferRecord();
    std::uint32_t written = 0;
    TIoStatus status = FApi.WriteFile(handle, *writeRecord, everyByte.data(), 256, written);
    if (status == TIoStatus::ioPending) {
        status = FApi.GetOverlappedResult(handle, *writeRecord, true, written);
    }
    EXPECT_EQ(status, TIoStatus::ioDone);
    EXPECT_EQ(written, 256u);
    EXPECT_EQ(FPty.Receive(256), everyByte);

    auto readRecord = FApi.CreateTransferRecord();
    FPty.Send(everyByte);
    EXPECT_EQ(Read(handle, *readRecord, 256), everyByte);
}

TEST_F(LinuxSerialApi, ReadCompletesAtOnceWhenTheCountIsThere) {
    const devlink::THandle handle = OpenPort();
    SetReadRule(handle);
    auto record = FApi.CreateTransferRecord();
    FPty.Send("12,34\r");
    devlink::TComStat stat;
    std::uint32_t errors = 0;
    for (int tries = 0; tries < 100 && stat.cbInQue < 6; ++tries) {
        std::this_thread::sleep_for(5ms);
        ASSERT_TRUE(FApi.ClearCommError(handle, errors, stat));
    }
    ASSERT_EQ(stat.cbInQue, 6u);
    char buffer[6] = {};
    std::uint32_t transferred = 0;
    EXPECT_EQ(FApi.ReadFile(handle, *record, buffer, 6, transferred), TIoStatus::ioDone);
    EXPECT_EQ(std::string(buffer, transferred), "12,34\r");
}

TEST_F(LinuxSerialApi, ReadOfMoreThanArrivesEndsAfterTheConstantWithWhatCame) {
    const devlink::THandle handle = OpenPort();
    SetReadRule(handle);
    auto record = FApi.CreateTransferRecord();
    FPty.Send("abc");
    char buffer[10] = {};
    std::uint32_t transferred = 0;
    const auto start = std::chrono::steady_clock::now();
    TIoStatus status = FApi.ReadFile(handle, *record, buffer, 10, transferred);
    ASSERT_EQ(status, TIoStatus::ioPending);
    EXPECT_EQ(FApi.GetLastError(), TLinkError::leIoPending);
    EXPECT_EQ(FApi.GetOverlappedResult(handle, *record, false, transferred), TIoStatus::ioPending);
    EXPECT_EQ(FApi.GetLastError(), TLinkError::leIoIncomplete);
    status = FApi.GetOverlappedResult(handle, *record, true, transferred);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(status, TIoStatus::ioDone);
    EXPECT_EQ(std::string(buffer, transferred), "abc");
    EXPECT_GE(elapsed, 900ms);
    EXPECT_LT(elapsed, 3s); // sanity bound only
}

TEST_F(LinuxSerialApi, WaitingReadTakesBytesThatArriveLater) {
    const devlink::THandle handle = OpenPort();
    SetReadRule(handle);
    auto record = FApi.CreateTransferRecord();
    std::thread farEnd([this] {
        std::this_thread::sleep_for(50ms);
        FPty.Send("OK");
        std::this_thread::sleep_for(50ms);
        FPty.Send("!\r");
    });
    EXPECT_EQ(Read(handle, *record, 4), "OK!\r");
    farEnd.join();
}

TEST_F(LinuxSerialApi, ReadFailsWhenTheFarEndHangsUp) {
    const devlink::THandle handle = OpenPort();
    SetReadRule(handle);
    auto record = FApi.CreateTransferRecord();
    char buffer[4] = {};
    std::uint32_t transferred = 0;
    ASSERT_EQ(FApi.ReadFile(handle, *record, buffer, 4, transferred), TIoStatus::ioPending);
    FPty.CloseMaster();
    EXPECT_EQ(FApi.GetOverlappedResult(handle, *record, true, transferred), TIoStatus::ioFailed);
    EXPECT_EQ(FApi.GetLastError(), TLinkError::leHungUp);
}

TEST_F(LinuxSerialApi, WriteLargerThanTheDriverTakesCompletesFromTheRecordsOwnCopy) {
    const devlink::THandle handle = OpenPort();
    SetReadRule(handle);
    std::string data(200000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>('A' + i % 26);
    }
    const std::string expected = data;
    auto record = FApi.CreateTransferRecord();
    std::uint32_t transferred = 0;
    ASSERT_EQ(FApi.WriteFile(handle, *record, data.data(), static_cast<std::uint32_t>(data.size()),
                             transferred),
              TIoStatus::ioPending);
    EXPECT_LT(transferred, data.size());
    std::fill(data.begin(), data.end(), '#'); // the caller's buffer is free once WriteFile returns
    auto received = std::async(std::launch::async,
                               [this, &expected] { return FPty.Receive(expected.size(), 20s); });
    EXPECT_EQ(FApi.GetOverlappedResult(handle, *record, true, transferred), TIoStatus::ioDone);
    EXPECT_EQ(transferred, expected.size());
    EXPECT_TRUE(received.get() == expected);
}

TEST_F(LinuxSerialApi, WriteThatRunsOutOfTimeEndsWithTheBytesThatWent) {
    const devlink::THandle handle = OpenPort();
    devlink::TCommTimeouts timeouts;
    timeouts.WriteTotalTimeoutConstant = 200;
    ASSERT_TRUE(FApi.SetCommTimeouts(handle, timeouts));
    const std::string data(200000, 'x'); // nobody reads the far end
    auto record = FApi.CreateTransferRecord();
    std::uint32_t transferred = 0;
    ASSERT_EQ(FApi.WriteFile(handle, *record, data.data(), 200000, transferred),
              TIoStatus::ioPending);
    EXPECT_EQ(FApi.GetOverlappedResult(handle, *record, true, transferred), TIoStatus::ioDone);
    EXPECT_LT(transferred, 200000u);
}

TEST_F(LinuxSerialApi, PurgeWithAbortEndsAWriteUnderWay) {
    const devlink::THandle handle = OpenPort();
    const std::string data(200000, 'x');
    auto record = FApi.CreateTransferRecord();
    std::uint32_t transferred = 0;
    ASSERT_EQ(FApi.WriteFile(handle, *record, data.data(), 200000, transferred),
              TIoStatus::ioPending);
    ASSERT_TRUE(FApi.PurgeComm(handle, devlink::kPurgeTxAbort | devlink::kPurgeTxClear));
    EXPECT_EQ(FApi.GetOverlappedResult(handle, *record, true, transferred), TIoStatus::ioFailed);
    EXPECT_EQ(FApi.GetLastError(), TLinkError::leAborted);
}

// The far end of a pseudo-terminal may read late: what a finished write handed over is
// no longer the port's to throw away, neither by the purge nor by the close.
TEST_F(LinuxSerialApi, APurgeAndACloseKeepWhatAFinishedWriteHandedOver) {
    const std::string command =
        "\x1b.C6;PU0,0;PD2000,0,2000,2000,0,2000,0,0;PU0,0;" + std::string(9, 'x');
    for (int round = 0; round < 40; ++round) {
        const devlink::THandle handle = OpenPort();
        auto record = FApi.CreateTransferRecord();
        std::uint32_t written = 0;
        TIoStatus status = FApi.WriteFile(handle, *record, command.data(),
                                          static_cast<std::uint32_t>(command.size()), written);
        if (status == TIoStatus::ioPending) {
            status = FApi.GetOverlappedResult(handle, *record, true, written);
        }
        ASSERT_EQ(status, TIoStatus::ioDone);
        ASSERT_TRUE(FApi.PurgeComm(handle, devlink::kPurgeTxClear | devlink::kPurgeRxClear));
        ASSERT_TRUE(FApi.CloseHandle(handle));
        ASSERT_EQ(FPty.Receive(command.size()), command) << "round " << round;
    }
}

TEST_F(LinuxSerialApi, PurgeDiscardsWaitingInput) {
    const devlink::THandle handle = OpenPort();
    FPty.Send("stale");
    devlink::TComStat stat;
    std::uint32_t errors = 0;
    for (int tries = 0; tries < 100 && stat.cbInQue < 5; ++tries) {
        std::this_thread::sleep_for(5ms);
        FApi.ClearCommError(handle, errors, stat);
    }
    ASSERT_EQ(stat.cbInQue, 5u);
    ASSERT_TRUE(FApi.PurgeComm(handle, devlink::kPurgeRxAbort | devlink::kPurgeRxClear));
    ASSERT_TRUE(FApi.ClearCommError(handle, errors, stat));
    EXPECT_EQ(stat.cbInQue, 0u);
    EXPECT_EQ(errors, 0u);
    EXPECT_FALSE(FApi.PurgeComm(handle, 0x10));
    ExpectOtherFailure(EINVAL);
}

TEST_F(LinuxSerialApi, OpensInRawModeWithTheReceiverOnAndModemStatusIgnored) {
    const devlink::THandle handle = OpenPort();
    const termios settings = SlaveSettings();
    EXPECT_EQ(settings.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);
    EXPECT_EQ(settings.c_iflag & (ICRNL | INLCR | IGNCR | IXON | ISTRIP), 0u);
    EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
    EXPECT_EQ(settings.c_cc[VMIN], 1);
    EXPECT_EQ(settings.c_cc[VTIME], 0);
    FApi.CloseHandle(handle);
}

TEST_F(LinuxSerialApi, LineStateReachesTheTerminalAndReadsBackWhole) {
    const devlink::THandle handle = OpenPort();
    devlink::TDcb dcb;
    dcb.BaudRate = 14400;
    dcb.StopBits = devlink::kTwoStopBits;
    dcb.fOutxCtsFlow = true;
    dcb.fRtsControl = devlink::kRtsControlHandshake;
    dcb.fOutX = true;
    dcb.fInX = true;
    dcb.XonChar = 'Q';
    dcb.XoffChar = 'S';
    dcb.fOutxDsrFlow = true;
    dcb.fDtrControl = devlink::kDtrControlDisable;
    dcb.XonLim = 1024;
    dcb.XoffLim = 1024;
    dcb.EvtChar = '\r';
    ASSERT_TRUE(FApi.SetCommState(handle, dcb)) << std::strerror(LastErrno());
    const termios settings = SlaveSettings();
    EXPECT_EQ(settings.c_cflag & (CSTOPB | CRTSCTS), tcflag_t{CSTOPB | CRTSCTS});
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF), tcflag_t{IXON | IXOFF});
    EXPECT_EQ(settings.c_cc[VSTART], 'Q');
    EXPECT_EQ(settings.c_cc[VSTOP], 'S');
    devlink::TDcb readBack;
    ASSERT_TRUE(FApi.GetCommState(handle, readBack));
    EXPECT_EQ(readBack, dcb);
}

TEST_F(LinuxSerialApi, RefusedLineStateLeavesTheLineAsItWas) {
    const devlink::THandle handle = OpenPort();
    devlink::TDcb before;
    before.BaudRate = 4800;
    ASSERT_TRUE(FApi.SetCommState(handle, before));
    devlink::TDcb refused = before;
    refused.ByteSize = 4;
    EXPECT_FALSE(FApi.SetCommState(handle, refused));
    ExpectOtherFailure(EINVAL);
    devlink::TDcb readBack;
    ASSERT_TRUE(FApi.GetCommState(handle, readBack));
    EXPECT_EQ(readBack, before);
}

TEST_F(LinuxSerialApi, ModemStatusOfAPseudoTerminalIsUnavailableWithoutHarm) {
    const devlink::THandle handle = OpenPort();
    std::uint32_t status = 0xDEAD;
    EXPECT_FALSE(FApi.GetCommModemStatus(handle, status));
    ExpectOtherFailure(ENOTTY);
    EXPECT_EQ(status, 0xDEADu);
    // Lines that do not exist need no driving; a break is accepted.
    for (std::uint32_t function :
         {devlink::kSetDtr, devlink::kClrDtr, devlink::kSetRts, devlink::kClrRts,
          devlink::kSetBreak, devlink::kClrBreak, devlink::kSetXoff, devlink::kSetXon}) {
        EXPECT_TRUE(FApi.EscapeCommFunction(handle, function)) << function;
    }
    EXPECT_FALSE(FApi.EscapeCommFunction(handle, 7));
    ExpectOtherFailure(EINVAL);
}

TEST_F(LinuxSerialApi, HeldOutputByXoffGoesOnAfterXon) {
    const devlink::THandle handle = OpenPort();
    auto record = FApi.CreateTransferRecord();
    std::uint32_t transferred = 0;
    ASSERT_TRUE(FApi.EscapeCommFunction(handle, devlink::kSetXoff));
    ASSERT_EQ(FApi.WriteFile(handle, *record, "held", 4, transferred), TIoStatus::ioPending);
    EXPECT_EQ(FApi.GetOverlappedResult(handle, *record, false, transferred), TIoStatus::ioPending);
    EXPECT_EQ(FPty.Receive(4, 100ms), "");
    ASSERT_TRUE(FApi.EscapeCommFunction(handle, devlink::kSetXon));
    EXPECT_EQ(FApi.GetOverlappedResult(handle, *record, true, transferred), TIoStatus::ioDone);
    EXPECT_EQ(transferred, 4u);
    EXPECT_EQ(FPty.Receive(4), "held");
}

} // namespace
} // namespace platform::test
