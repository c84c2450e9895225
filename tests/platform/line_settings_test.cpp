// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/line_settings.h"

#include <asm/termbits.h>
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

namespace platform::test {
namespace {

struct TLineCase {
    std::string Description;
    std::function<void(devlink::TDcb&)> Change;
    tcflag_t ControlMask = 0;
    tcflag_t Control = 0;
    tcflag_t InputMask = 0;
    tcflag_t Input = 0;
};

void PrintTo(const TLineCase& line, std::ostream* out) {
    *out << line.Description;
}

// Settings as a freshly opened raw line has them.
termios2 RawSettings() {
    termios2 line{};
    line.c_cflag = CS8 | CREAD | CLOCAL | B9600;
    line.c_ispeed = 9600;
    line.c_ospeed = 9600;
    line.c_cc[VMIN] = 1;
    return line;
}

// The DCB fields the terminal holds.
auto LineFields(const devlink::TDcb& dcb) {
    const bool ctsHandshake = dcb.fOutxCtsFlow || dcb.fRtsControl == devlink::kRtsControlHandshake;
    return std::make_tuple(dcb.BaudRate, dcb.ByteSize, dcb.Parity, dcb.fParity,
                           dcb.StopBits != devlink::kOneStopBit, ctsHandshake, dcb.fOutX, dcb.fInX,
                           dcb.XonChar, dcb.XoffChar);
}

class DcbMapping : public ::testing::TestWithParam<TLineCase> {};

TEST_P(DcbMapping, SetsTheTerminalFlagsAndReadsBackTheSameFields) {
    devlink::TDcb dcb;
    GetParam().Change(dcb);
    termios2 line = RawSettings();
    ASSERT_TRUE(ApplyDcbToSettings(dcb, line));
    EXPECT_EQ(line.c_cflag & GetParam().ControlMask, GetParam().Control);
    EXPECT_EQ(line.c_iflag & GetParam().InputMask, GetParam().Input);
    EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
    EXPECT_EQ(line.c_ospeed, dcb.BaudRate);
    EXPECT_EQ(line.c_ispeed, dcb.BaudRate);
    devlink::TDcb readBack; // nothing kept from before
    ReadDcbFromSettings(line, readBack);
    EXPECT_EQ(LineFields(readBack), LineFields(dcb));
}

constexpr tcflag_t kParityBits = PARENB | PARODD | CMSPAR;
constexpr tcflag_t kBothRates = CBAUD | (CBAUD << IBSHIFT);

INSTANTIATE_TEST_SUITE_P(
    Fields, DcbMapping,
    ::testing::Values(
        TLineCase{"no parity", [](devlink::TDcb& d) { d.Parity = devlink::kNoParity; }, kParityBits, 0},
        TLineCase{"odd parity", [](devlink::TDcb& d) { d.Parity = devlink::kOddParity; }, kParityBits,
                  PARENB | PARODD},
        TLineCase{"even parity", [](devlink::TDcb& d) { d.Parity = devlink::kEvenParity; },
                  kParityBits, PARENB},
        TLineCase{"mark parity", [](devlink::TDcb& d) { d.Parity = devlink::kMarkParity; },
                  kParityBits, PARENB | PARODD | CMSPAR},
        TLineCase{"space parity", [](devlink::TDcb& d) { d.Parity = devlink::kSpaceParity; },
                  kParityBits, PARENB | CMSPAR},
        TLineCase{"parity checked",
                  [](devlink::TDcb& d) {
                      d.Parity = devlink::kEvenParity;
                      d.fParity = true;
                  },
                  kParityBits, PARENB, INPCK, INPCK},
        TLineCase{"parity not checked", [](devlink::TDcb& d) { d.Parity = devlink::kOddParity; },
                  kParityBits, PARENB | PARODD, INPCK, 0},
        TLineCase{"5 data bits", [](devlink::TDcb& d) { d.ByteSize = 5; }, CSIZE, CS5},
        TLineCase{"6 data bits", [](devlink::TDcb& d) { d.ByteSize = 6; }, CSIZE, CS6},
        TLineCase{"7 data bits", [](devlink::TDcb& d) { d.ByteSize = 7; }, CSIZE, CS7},
        TLineCase{"8 data bits", [](devlink::TDcb& d) { d.ByteSize = 8; }, CSIZE, CS8},
        TLineCase{"1 stop bit", [](devlink::TDcb& d) { d.StopBits = devlink::kOneStopBit; }, CSTOPB,
                  0},
        TLineCase{"1.5 stop bits",
                  [](devlink::TDcb& d) {
                      d.ByteSize = 5;
                      d.StopBits = devlink::kOne5StopBits;
                  },
                  CSTOPB, CSTOPB},
        TLineCase{"2 stop bits", [](devlink::TDcb& d) { d.StopBits = devlink::kTwoStopBits; }, CSTOPB,
                  CSTOPB},
        TLineCase{"CTS output flow", [](devlink::TDcb& d) { d.fOutxCtsFlow = true; }, CRTSCTS,
                  CRTSCTS},
        TLineCase{"RTS handshake",
                  [](devlink::TDcb& d) { d.fRtsControl = devlink::kRtsControlHandshake; }, CRTSCTS,
                  CRTSCTS},
        TLineCase{"DSR flow has no terminal flag",
                  [](devlink::TDcb& d) {
                      d.fOutxDsrFlow = true;
                      d.fDtrControl = devlink::kDtrControlHandshake;
                  },
                  CRTSCTS, 0},
        TLineCase{"XON/XOFF both ways",
                  [](devlink::TDcb& d) {
                      d.fOutX = true;
                      d.fInX = true;
                  },
                  0, 0, IXON | IXOFF, IXON | IXOFF},
        TLineCase{"XON/XOFF on output", [](devlink::TDcb& d) { d.fOutX = true; }, 0, 0,
                  IXON | IXOFF, IXON},
        TLineCase{"XON/XOFF on input", [](devlink::TDcb& d) { d.fInX = true; }, 0, 0, IXON | IXOFF,
                  IXOFF},
        TLineCase{"other flow characters",
                  [](devlink::TDcb& d) {
                      d.XonChar = 'Q';
                      d.XoffChar = 'S';
                  }},
        TLineCase{"110", [](devlink::TDcb& d) { d.BaudRate = 110; }, kBothRates, B110},
        TLineCase{"9600", [](devlink::TDcb& d) { d.BaudRate = 9600; }, kBothRates, B9600},
        TLineCase{"115200", [](devlink::TDcb& d) { d.BaudRate = 115200; }, kBothRates, B115200},
        TLineCase{"14400", [](devlink::TDcb& d) { d.BaudRate = 14400; }, kBothRates, BOTHER},
        TLineCase{"56000", [](devlink::TDcb& d) { d.BaudRate = 56000; }, kBothRates, BOTHER},
        TLineCase{"128000", [](devlink::TDcb& d) { d.BaudRate = 128000; }, kBothRates, BOTHER},
        TLineCase{"256000", [](devlink::TDcb& d) { d.BaudRate = 256000; }, kBothRates, BOTHER}));

TEST(DcbMapping, FlowCharactersAreTheTerminalsStartAndStopCharacters) {
    devlink::TDcb dcb;
    dcb.XonChar = 'Q';
    dcb.XoffChar = '\xff';
    termios2 line = RawSettings();
    ASSERT_TRUE(ApplyDcbToSettings(dcb, line));
    EXPECT_EQ(line.c_cc[VSTART], 'Q');
    EXPECT_EQ(line.c_cc[VSTOP], 0xff);
}

TEST(DcbMapping, KeepsOneAndAHalfStopBitsWhereTheKeptDcbSaysSo) {
    termios2 line = RawSettings();
    line.c_cflag |= CSTOPB;
    devlink::TDcb kept;
    kept.StopBits = devlink::kOne5StopBits;
    ReadDcbFromSettings(line, kept);
    EXPECT_EQ(kept.StopBits, devlink::kOne5StopBits);
    devlink::TDcb fresh;
    ReadDcbFromSettings(line, fresh);
    EXPECT_EQ(fresh.StopBits, devlink::kTwoStopBits);
}

TEST(DcbMapping, LeavesFieldsTheTerminalDoesNotHold) {
    devlink::TDcb kept;
    kept.fOutxDsrFlow = true;
    kept.fDtrControl = devlink::kDtrControlHandshake;
    kept.fAbortOnError = true;
    kept.XonLim = 1024;
    kept.EvtChar = '\r';
    const devlink::TDcb before = kept;
    ReadDcbFromSettings(RawSettings(), kept);
    EXPECT_EQ(kept.fOutxDsrFlow, before.fOutxDsrFlow);
    EXPECT_EQ(kept.fDtrControl, before.fDtrControl);
    EXPECT_EQ(kept.fAbortOnError, before.fAbortOnError);
    EXPECT_EQ(kept.XonLim, before.XonLim);
    EXPECT_EQ(kept.EvtChar, before.EvtChar);
}

// The rate a UART reads back after being set: within 2 % it runs the rate asked for.
TEST(DcbMapping, RateReadBackCountsAsTakenWithinTwoPercent) {
    const std::tuple<std::uint32_t, std::uint32_t, bool> readBacks[] = {
        {9600, 9600, true},      {9600, 9792, true},     {9600, 9408, true},
        {9600, 9793, false},     {9600, 9407, false},    {9600, 11520, false},
        {256000, 115200, false}, {115200, 117504, true}, {115200, 117505, false},
    };
    for (const auto& [asked, running, taken] : readBacks) {
        EXPECT_EQ(RateTaken(asked, running), taken) << asked << " read back as " << running;
    }
}

struct TRefusedCase {
    std::string Description;
    std::function<void(devlink::TDcb&)> Change;
};

void PrintTo(const TRefusedCase& refused, std::ostream* out) {
    *out << refused.Description;
}

class DcbRefused : public ::testing::TestWithParam<TRefusedCase> {};

TEST_P(DcbRefused, ChangesNothing) {
    devlink::TDcb dcb;
    GetParam().Change(dcb);
    termios2 line = RawSettings();
    EXPECT_FALSE(ApplyDcbToSettings(dcb, line));
    const termios2 untouched = RawSettings();
    EXPECT_EQ(line.c_cflag, untouched.c_cflag);
    EXPECT_EQ(line.c_iflag, untouched.c_iflag);
    EXPECT_EQ(line.c_ospeed, untouched.c_ospeed);
}

INSTANTIATE_TEST_SUITE_P(
    Values, DcbRefused,
    ::testing::Values(TRefusedCase{"rate 0, which would hang the line up",
                                   [](devlink::TDcb& d) { d.BaudRate = 0; }},
                      TRefusedCase{"4 data bits", [](devlink::TDcb& d) { d.ByteSize = 4; }},
                      TRefusedCase{"9 data bits", [](devlink::TDcb& d) { d.ByteSize = 9; }},
                      TRefusedCase{"parity code 5", [](devlink::TDcb& d) { d.Parity = 5; }},
                      TRefusedCase{"stop-bit code 3", [](devlink::TDcb& d) { d.StopBits = 3; }},
                      TRefusedCase{"same XON and XOFF with flow control", [](devlink::TDcb& d) {
                                       d.fInX = true;
                                       d.XonChar = 19;
                                   }}));

} // namespace
} // namespace platform::test
