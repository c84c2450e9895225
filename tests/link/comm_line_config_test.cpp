// SPDX-License-Identifier: GPL-3.0-or-later
// What the port component writes into the device's line configuration and time-outs.

#include "link/comm.h"
#include "tests/link/comm_test_support.h"
#include "tests/link/fake_serial_api.h"

#include <gtest/gtest.h>

namespace devlink::test {
namespace {

using fake::TFakeSerialApi;

class CommLineConfig : public ::testing::Test {
protected:
    TDcb OpenAndReadDcb() {
        Comm.Open();
        EXPECT_TRUE(Comm.Enabled());
        const auto dcbs = Api.WrittenDcbs();
        return dcbs.empty() ? TDcb{} : dcbs.back();
    }

    TFakeSerialApi Api;
    TRecordingComm Comm{Api};
};

struct FlowCase {
    TFlowControl Flow;
    bool OutxCts;
    bool OutxDsr;
    std::uint8_t Dtr;
    std::uint8_t Rts;
    bool XonXoff; // both directions
};

class CommFlowControl : public CommLineConfig, public ::testing::WithParamInterface<FlowCase> {};

TEST_P(CommFlowControl, SetsTheHandshakeOfItsRow) {
    TDcb device;
    device.fOutxCtsFlow = true;
    device.fOutxDsrFlow = true;
    device.fDtrControl = kDtrControlDisable;
    device.fRtsControl = kRtsControlDisable;
    Api.SetDeviceDcb(device);
    Comm.SetFlowControl(GetParam().Flow);
    const TDcb dcb = OpenAndReadDcb();
    EXPECT_EQ(dcb.fOutxCtsFlow, GetParam().OutxCts);
    EXPECT_EQ(dcb.fOutxDsrFlow, GetParam().OutxDsr);
    EXPECT_EQ(dcb.fDtrControl, GetParam().Dtr);
    EXPECT_EQ(dcb.fRtsControl, GetParam().Rts);
    EXPECT_EQ(dcb.fOutX, GetParam().XonXoff);
    EXPECT_EQ(dcb.fInX, GetParam().XonXoff);
}

INSTANTIATE_TEST_SUITE_P(
    All, CommFlowControl,
    ::testing::Values(
        FlowCase{fcNone, false, false, kDtrControlEnable, kRtsControlEnable, false},
        FlowCase{fcCTS, true, false, kDtrControlEnable, kRtsControlHandshake, false},
        FlowCase{fcDTR, false, true, kDtrControlHandshake, kRtsControlEnable, false},
        FlowCase{fcSoftware, false, false, kDtrControlEnable, kRtsControlEnable, true},
        FlowCase{fcDefault, false, false, kDtrControlEnable, kRtsControlEnable, false}));

TEST_F(CommLineConfig, DefaultFlowControlKeepsTheDevicesXonXoffAndTheOthersSayTheirOwn) {
    TDcb device;
    device.fOutX = true;
    device.fInX = false;
    Api.SetDeviceDcb(device);
    Comm.Open();
    EXPECT_TRUE(Api.WrittenDcbs().back().fOutX);
    EXPECT_FALSE(Api.WrittenDcbs().back().fInX);
    // Software, then none: 0x11 and 0x13 are data again.
    for (TFlowControl flow : {fcSoftware, fcNone, fcSoftware, fcCTS, fcSoftware, fcDTR}) {
        Comm.SetFlowControl(flow);
        EXPECT_EQ(Api.WrittenDcbs().back().fOutX, flow == fcSoftware) << int(flow);
        EXPECT_EQ(Api.WrittenDcbs().back().fInX, flow == fcSoftware) << int(flow);
    }
}

struct OptionCase {
    TCommOption Option;
    bool TDcb::*Flag;
};

class CommOptions : public CommLineConfig, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(CommOptions, EachOptionSetsItsFlagAndClearsTheOthers) {
    TDcb device;
    device.fParity = device.fDsrSensitivity = device.fTXContinueOnXoff = true;
    device.fErrorChar = device.fNull = true;
    Api.SetDeviceDcb(device);
    Comm.SetOptions(static_cast<TCommOptions>(1u << GetParam().Option));
    TDcb dcb = OpenAndReadDcb();
    EXPECT_TRUE(dcb.*GetParam().Flag);
    dcb.*GetParam().Flag = false;
    EXPECT_FALSE(dcb.fParity || dcb.fDsrSensitivity || dcb.fTXContinueOnXoff || dcb.fErrorChar ||
                 dcb.fNull);
}

INSTANTIATE_TEST_SUITE_P(All, CommOptions,
                         ::testing::Values(OptionCase{coParityCheck, &TDcb::fParity},
                                           OptionCase{coDsrSensitivity, &TDcb::fDsrSensitivity},
                                           OptionCase{coIgnoreXOff, &TDcb::fTXContinueOnXoff},
                                           OptionCase{coErrorChar, &TDcb::fErrorChar},
                                           OptionCase{coNullStrip, &TDcb::fNull}));

TEST_F(CommLineConfig, ParityStopBitsAndByteSizeTakeTheirDcbCodes) {
    const std::pair<TParity, std::uint8_t> parities[] = {{paNone, kNoParity},
                                                         {paOdd, kOddParity},
                                                         {paEven, kEvenParity},
                                                         {paMark, kMarkParity},
                                                         {paSpace, kSpaceParity}};
    const std::pair<TStopBits, std::uint8_t> stopBits[] = {
        {sb10, kOneStopBit}, {sb15, kOne5StopBits}, {sb20, kTwoStopBits}};
    const std::pair<TDataBits, std::uint8_t> byteSizes[] = {
        {da4, 4}, {da5, 5}, {da6, 6}, {da7, 7}, {da8, 8}};
    Comm.Open();
    for (const auto& [parity, code] : parities) {
        Comm.SetParity(parity == paNone ? paOdd : paNone);
        Comm.SetParity(parity);
        EXPECT_EQ(Api.WrittenDcbs().back().Parity, code) << int(parity);
    }
    for (const auto& [stop, code] : stopBits) {
        Comm.SetStopBits(stop == sb10 ? sb20 : sb10);
        Comm.SetStopBits(stop);
        EXPECT_EQ(Api.WrittenDcbs().back().StopBits, code) << int(stop);
    }
    for (const auto& [bits, size] : byteSizes) {
        Comm.SetDataBits(bits == da8 ? da7 : da8);
        Comm.SetDataBits(bits);
        EXPECT_EQ(Api.WrittenDcbs().back().ByteSize, size) << int(bits);
    }
}

TEST_F(CommLineConfig, DcbTakesTheEventCharsAndLimitsAndKeepsTheRestOfTheDevice) {
    TDcb device;
    device.fBinary = false;
    device.fAbortOnError = true;
    device.XonLim = 7;
    device.XoffLim = 9;
    device.BaudRate = 300;
    Api.SetDeviceDcb(device);
    Comm.EventChars().SetErrorChar('?');
    Comm.EventChars().SetEofChar(0x1A);
    Comm.EventChars().SetEvtChar('\r');
    const TDcb dcb = OpenAndReadDcb();
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);
    EXPECT_EQ(dcb.ErrorChar, '?');
    EXPECT_EQ(dcb.EofChar, 0x1A);
    EXPECT_EQ(dcb.EvtChar, '\r');
    EXPECT_EQ(dcb.XonLim, 1024);
    EXPECT_EQ(dcb.XoffLim, 1024);
    EXPECT_FALSE(dcb.fBinary);
    EXPECT_TRUE(dcb.fAbortOnError);
}

TEST_F(CommLineConfig, EventCharSetterAppliesAtOnceWhileAssignAppliesNothing) {
    Comm.Open();
    const int statesBefore = Api.CountOf("SetCommState");
    Comm.EventChars().SetXOnChar('A');
    EXPECT_EQ(Api.CountOf("SetCommState"), statesBefore + 1);
    EXPECT_EQ(Api.WrittenDcbs().back().XonChar, 'A');

    TCommEventChars other(nullptr);
    other.SetXOffChar('B');
    other.SetEvtChar('C');
    Comm.EventChars().Assign(other);
    EXPECT_EQ(Api.CountOf("SetCommState"), statesBefore + 1);
    EXPECT_EQ(Comm.EventChars().XOnChar(), 17);
    EXPECT_EQ(Comm.EventChars().XOffChar(), 'B');
    EXPECT_EQ(Comm.EventChars().EvtChar(), 'C');

    Comm.EventChars().SetEventChar(6, 'Z'); // no such character
    EXPECT_EQ(Api.CountOf("SetCommState"), statesBefore + 1);
}

TEST_F(CommLineConfig, BaudRateSetWhileClosedIsUsedByTheNextOpen) {
    Comm.SetBaudRate(br38400);
    EXPECT_TRUE(Api.WrittenDcbs().empty());
    const TDcb dcb = OpenAndReadDcb();
    EXPECT_EQ(dcb.BaudRate, 38400u);
    EXPECT_EQ(Api.WrittenTimeouts().back().WriteTotalTimeoutMultiplier, 0u);
}

TEST_F(CommLineConfig, WriteTimeoutRuleIsFixedAtOpen) {
    Comm.Open();
    Comm.SetBaudRate(br110);
    EXPECT_EQ(Api.WrittenTimeouts().size(), 1u);
    EXPECT_EQ(Api.WrittenTimeouts().back().WriteTotalTimeoutMultiplier, 2u);
    EXPECT_EQ(Api.WrittenDcbs().back().BaudRate, 110u);
}

struct RateCase {
    TBaudRate Rate;
    std::uint32_t BitsPerSecond;
    std::uint32_t WriteMultiplier;
};

class CommRates : public CommLineConfig, public ::testing::WithParamInterface<RateCase> {};

TEST_P(CommRates, OpenWritesTheRateAndItsTimeoutRule) {
    Comm.SetBaudRate(GetParam().Rate);
    const TDcb dcb = OpenAndReadDcb();
    EXPECT_EQ(dcb.BaudRate, GetParam().BitsPerSecond);
    ASSERT_EQ(Api.WrittenTimeouts().size(), 1u);
    TCommTimeouts expected;
    expected.ReadIntervalTimeout = 0xFFFFFFFF;
    expected.ReadTotalTimeoutMultiplier = 0;
    expected.ReadTotalTimeoutConstant = 1000;
    expected.WriteTotalTimeoutMultiplier = GetParam().WriteMultiplier;
    expected.WriteTotalTimeoutConstant = 0;
    EXPECT_EQ(Api.WrittenTimeouts().back(), expected);
}

INSTANTIATE_TEST_SUITE_P(All, CommRates,
                         ::testing::Values(RateCase{br110, 110, 174}, RateCase{br300, 300, 64},
                                           RateCase{br600, 600, 32}, RateCase{br1200, 1200, 16},
                                           RateCase{br2400, 2400, 8}, RateCase{br4800, 4800, 4},
                                           RateCase{br9600, 9600, 2}, RateCase{br14400, 14400, 1},
                                           RateCase{br19200, 19200, 1}, RateCase{br38400, 38400, 0},
                                           RateCase{br56000, 56000, 0}, RateCase{br57600, 57600, 0},
                                           RateCase{br115200, 115200, 0},
                                           RateCase{br128000, 128000, 0},
                                           RateCase{br256000, 256000, 0}),
                         [](const auto& info) { return std::to_string(info.param.BitsPerSecond); });

} // namespace
} // namespace devlink::test
