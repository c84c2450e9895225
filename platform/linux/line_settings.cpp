// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/line_settings.h"

// The kernel's own termios2, not the C library's, so that any rate can be set.
#include <array>
#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>
#include <utility>

namespace platform {

namespace {

constexpr std::array<std::pair<std::uint32_t, tcflag_t>, 30> kStandardRates{{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

constexpr std::array<std::pair<std::uint8_t, tcflag_t>, 4> kByteSizes{{
    {5, CS5},
    {6, CS6},
    {7, CS7},
    {8, CS8},
}};

void SetFlag(tcflag_t& flags, tcflag_t flag, bool on) {
    flags = on ? (flags | flag) : (flags & ~flag);
}

bool GetLine(int fd, termios2& line) {
    return ::ioctl(fd, TCGETS2, &line) == 0;
}
bool SetLine(int fd, const termios2& line) {
    return ::ioctl(fd, TCSETS2, &line) == 0;
}

bool IsValidDcb(const devlink::TDcb& dcb) {
    const bool softwareFlow = dcb.fOutX || dcb.fInX;
    return dcb.BaudRate != 0 && dcb.ByteSize >= 5 && dcb.ByteSize <= 8 &&
           dcb.Parity <= devlink::kSpaceParity && dcb.StopBits <= devlink::kTwoStopBits &&
           !(softwareFlow && dcb.XonChar == dcb.XoffChar);
}

// Both directions at the same rate: a standard code where there is one, else any rate.
void SetRate(termios2& line, std::uint32_t rate) {
    line.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    line.c_cflag |= BOTHER;
    line.c_ispeed = rate;
    line.c_ospeed = rate;
    for (const auto& [standardRate, code] : kStandardRates) {
        if (standardRate == rate) {
            line.c_cflag &= ~CBAUD;
            line.c_cflag |= code;
        }
    }
}

void SetByteSize(termios2& line, std::uint8_t byteSize) {
    line.c_cflag &= ~CSIZE;
    for (const auto& [size, code] : kByteSizes) {
        if (size == byteSize) {
            line.c_cflag |= code;
        }
    }
}

void SetParity(termios2& line, std::uint8_t parity, bool checkInput) {
    line.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (parity) {
    case devlink::kOddParity:
        line.c_cflag |= PARENB | PARODD;
        break;
    case devlink::kEvenParity:
        line.c_cflag |= PARENB;
        break;
    case devlink::kMarkParity:
        line.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case devlink::kSpaceParity:
        line.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    SetFlag(line.c_iflag, INPCK, checkInput);
}

std::uint8_t ParityOf(const termios2& line) {
    if ((line.c_cflag & PARENB) == 0) {
        return devlink::kNoParity;
    }
    const bool odd = (line.c_cflag & PARODD) != 0;
    if ((line.c_cflag & CMSPAR) != 0) {
        return odd ? devlink::kMarkParity : devlink::kSpaceParity;
    }
    return odd ? devlink::kOddParity : devlink::kEvenParity;
}

std::uint8_t ByteSizeOf(const termios2& line) {
    for (const auto& [size, code] : kByteSizes) {
        if ((line.c_cflag & CSIZE) == code) {
            return size;
        }
    }
    return 8;
}

} // namespace

bool RateTaken(std::uint32_t asked, std::uint32_t running) {
    const std::uint64_t difference = asked > running ? asked - running : running - asked;
    return difference * 50 <= asked;
}

bool MakeRawLine(int fd) {
    termios2 line{};
    if (!GetLine(fd, line)) {
        return false;
    }
    line.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                      IXANY | IUCLC | IMAXBEL);
    line.c_oflag &= ~OPOST;
    line.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    line.c_cflag &= ~(CSIZE | PARENB);
    line.c_cflag |= CS8 | CLOCAL | CREAD;
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    return SetLine(fd, line);
}

bool ApplyDcbToSettings(const devlink::TDcb& dcb, termios2& line) {
    if (!IsValidDcb(dcb)) {
        return false;
    }
    SetRate(line, dcb.BaudRate);
    SetByteSize(line, dcb.ByteSize);
    SetParity(line, dcb.Parity, dcb.fParity);
    // 1.5 stop bits exist only with 5 data bits, where the UART sends them for CSTOPB.
    SetFlag(line.c_cflag, CSTOPB, dcb.StopBits != devlink::kOneStopBit);
    SetFlag(line.c_cflag, CRTSCTS,
            dcb.fOutxCtsFlow || dcb.fRtsControl == devlink::kRtsControlHandshake);
    SetFlag(line.c_iflag, IXON, dcb.fOutX);
    SetFlag(line.c_iflag, IXOFF, dcb.fInX);
    line.c_cflag |= CLOCAL | CREAD;
    line.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    line.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    return true;
}

void ReadDcbFromSettings(const termios2& line, devlink::TDcb& dcb) {
    dcb.BaudRate = line.c_ospeed;
    dcb.ByteSize = ByteSizeOf(line);
    dcb.Parity = ParityOf(line);
    dcb.fParity = (line.c_iflag & INPCK) != 0;
    if ((line.c_cflag & CSTOPB) == 0) {
        dcb.StopBits = devlink::kOneStopBit;
    } else if (dcb.StopBits == devlink::kOneStopBit) {
        dcb.StopBits = devlink::kTwoStopBits;
    }
    const bool ctsRts = (line.c_cflag & CRTSCTS) != 0;
    if (ctsRts && !dcb.fOutxCtsFlow && dcb.fRtsControl != devlink::kRtsControlHandshake) {
        dcb.fOutxCtsFlow = true;
        dcb.fRtsControl = devlink::kRtsControlHandshake;
    } else if (!ctsRts) {
        dcb.fOutxCtsFlow = false;
        if (dcb.fRtsControl == devlink::kRtsControlHandshake) {
            dcb.fRtsControl = devlink::kRtsControlEnable;
        }
    }
    dcb.fOutX = (line.c_iflag & IXON) != 0;
    dcb.fInX = (line.c_iflag & IXOFF) != 0;
    dcb.XonChar = static_cast<char>(line.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(line.c_cc[VSTOP]);
}

bool ApplyDcbToLine(int fd, const devlink::TDcb& dcb) {
    termios2 before{};
    if (!GetLine(fd, before)) {
        return false;
    }
    termios2 line = before;
    if (!ApplyDcbToSettings(dcb, line)) {
        errno = EINVAL;
        return false;
    }
    if (!SetLine(fd, line)) {
        return false;
    }
    // A UART takes a rate it cannot make and quietly runs at its nearest (256000 becomes
    // 115200): read back, and put the former settings back when the line did not follow.
    termios2 taken{};
    if (GetLine(fd, taken) && !RateTaken(dcb.BaudRate, taken.c_ospeed)) {
        SetLine(fd, before);
        errno = EINVAL;
        return false;
    }
    return true;
}

bool ReadDcbFromLine(int fd, devlink::TDcb& dcb) {
    termios2 line{};
    if (!GetLine(fd, line)) {
        return false;
    }
    ReadDcbFromSettings(line, dcb);
    return true;
}

} // namespace platform
