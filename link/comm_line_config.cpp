// SPDX-License-Identifier: GPL-3.0-or-later
// The line configuration an open port is given: the device control block from the
// component's settings, and the time-outs that make reads and writes end.

#include "link/comm.h"

#include <array>

namespace devlink {

namespace {

constexpr const char* kMsgTimeouts = "Error updating CommTimeouts (Error: %d)";
constexpr const char* kMsgDcb = "Error updating DataControlBlock (Error: %d)";

constexpr std::array<std::uint32_t, 15> kBitsPerSecond = {110,   300,   600,    1200,   2400,
                                                          4800,  9600,  14400,  19200,  38400,
                                                          56000, 57600, 115200, 128000, 256000};

constexpr std::array<std::uint8_t, 5> kDcbParity = {kNoParity, kOddParity, kEvenParity, kMarkParity,
                                                    kSpaceParity};

constexpr std::uint16_t kXonXoffLimit = 1024;

// Milliseconds per written byte: the line needs about 10 bits per byte.
constexpr std::uint32_t kWriteMultiplierBase = 19200;
constexpr std::uint32_t kReadTotalTimeoutMs = 1000;

bool Has(TCommOptions options, TCommOption option) {
    return (options & (1u << option)) != 0;
}

void ApplyFlowControl(TFlowControl flowControl, TDcb& dcb) {
    dcb.fOutxCtsFlow = flowControl == fcCTS;
    dcb.fOutxDsrFlow = flowControl == fcDTR;
    dcb.fDtrControl = flowControl == fcDTR ? kDtrControlHandshake : kDtrControlEnable;
    dcb.fRtsControl = flowControl == fcCTS ? kRtsControlHandshake : kRtsControlEnable;
    // fcDefault leaves XON/XOFF as the device has it; every other choice says whether
    // 0x11/0x13 are flow control or data.
    if (flowControl != fcDefault) {
        dcb.fOutX = flowControl == fcSoftware;
        dcb.fInX = flowControl == fcSoftware;
    }
}

} // namespace

void TThreadComm::UpdateDataControlBlock() {
    if (!FOpen) {
        return;
    }
    FApi.SetupComm(FHandle, FReadBufSize, FWriteBufSize);
    FApi.GetCommState(FHandle, FDcb);
    FDcb.BaudRate = kBitsPerSecond[FBaudRate];
    FDcb.Parity = kDcbParity[FParity];
    FDcb.StopBits = static_cast<std::uint8_t>(FStopBits);
    FDcb.ByteSize = static_cast<std::uint8_t>(4 + FDataBits);
    FDcb.XonChar = FEventChars.XOnChar();
    FDcb.XoffChar = FEventChars.XOffChar();
    FDcb.ErrorChar = FEventChars.ErrorChar();
    FDcb.EofChar = FEventChars.EofChar();
    FDcb.EvtChar = FEventChars.EvtChar();
    FDcb.XonLim = kXonXoffLimit;
    FDcb.XoffLim = kXonXoffLimit;
    FDcb.fParity = Has(FOptions, coParityCheck);
    FDcb.fDsrSensitivity = Has(FOptions, coDsrSensitivity);
    FDcb.fTXContinueOnXoff = Has(FOptions, coIgnoreXOff);
    FDcb.fErrorChar = Has(FOptions, coErrorChar);
    FDcb.fNull = Has(FOptions, coNullStrip);
    ApplyFlowControl(FFlowControl, FDcb);
    if (!FApi.SetCommState(FHandle, FDcb)) {
        ReportCommError(kMsgDcb, NoteDeviceError());
    }
}

void TThreadComm::UpdateDataControlBlockLock() {
    std::lock_guard guard(FLock);
    UpdateDataControlBlock();
}

void TThreadComm::UpdateCommTimeouts() {
    if (!FOpen) {
        return;
    }
    TCommTimeouts timeouts;
    timeouts.ReadIntervalTimeout = kMaxDword;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = kReadTotalTimeoutMs;
    timeouts.WriteTotalTimeoutMultiplier = kWriteMultiplierBase / kBitsPerSecond[FBaudRate];
    timeouts.WriteTotalTimeoutConstant = 0;
    if (!FApi.SetCommTimeouts(FHandle, timeouts)) {
        ReportCommError(kMsgTimeouts, NoteDeviceError());
    }
}

} // namespace devlink
