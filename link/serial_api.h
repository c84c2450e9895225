// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/link_error.h"

#include <cstdint>
#include <memory>
#include <string>

namespace devlink {

// The serial operations the port component needs, each with the handle, flags and
// structures the component works in (the line configuration, time-outs, queue status,
// event masks), so that its logic stays one over every implementation: termios
// (platform/linux), the test fakes and the in-process virtual cutter. Every operation may
// be called with a handle that was never opened or is already closed; it then fails.
// The operations keep the names the component was written against (CreateFile, DCB,
// ClearCommError...); each says below what it does on Linux.

using THandle = std::intptr_t;
inline constexpr THandle kInvalidHandle = -1;

// Event mask bits (SetCommMask, the event waiter, the Status given to the handlers); on
// Linux the waiter finds them by comparing the queue, modem line and counter snapshots.
inline constexpr std::uint32_t kEvRxChar = 0x0001;
inline constexpr std::uint32_t kEvRxFlag = 0x0002;
inline constexpr std::uint32_t kEvTxEmpty = 0x0004;
inline constexpr std::uint32_t kEvCts = 0x0008;
inline constexpr std::uint32_t kEvDsr = 0x0010;
inline constexpr std::uint32_t kEvRlsd = 0x0020;
inline constexpr std::uint32_t kEvBreak = 0x0040;
inline constexpr std::uint32_t kEvErr = 0x0080;
inline constexpr std::uint32_t kEvRing = 0x0100;
inline constexpr std::uint32_t kEvAll = 0x01FF;

// Line error flags of ClearCommError.
inline constexpr std::uint32_t kCeRxOver = 0x0001;
inline constexpr std::uint32_t kCeOverrun = 0x0002;
inline constexpr std::uint32_t kCeRxParity = 0x0004;
inline constexpr std::uint32_t kCeFrame = 0x0008;
inline constexpr std::uint32_t kCeBreak = 0x0010;
inline constexpr std::uint32_t kCeTxFull = 0x0100;

// PurgeComm flags.
inline constexpr std::uint32_t kPurgeTxAbort = 0x01;
inline constexpr std::uint32_t kPurgeRxAbort = 0x02;
inline constexpr std::uint32_t kPurgeTxClear = 0x04;
inline constexpr std::uint32_t kPurgeRxClear = 0x08;

// EscapeCommFunction codes.
inline constexpr std::uint32_t kSetXoff = 1;
inline constexpr std::uint32_t kSetXon = 2;
inline constexpr std::uint32_t kSetRts = 3;
inline constexpr std::uint32_t kClrRts = 4;
inline constexpr std::uint32_t kSetDtr = 5;
inline constexpr std::uint32_t kClrDtr = 6;
inline constexpr std::uint32_t kSetBreak = 8;
inline constexpr std::uint32_t kClrBreak = 9;

// GetCommModemStatus bits.
inline constexpr std::uint32_t kMsCtsOn = 0x10;
inline constexpr std::uint32_t kMsDsrOn = 0x20;
inline constexpr std::uint32_t kMsRingOn = 0x40;
inline constexpr std::uint32_t kMsRlsdOn = 0x80;

// DCB handshake control values.
inline constexpr std::uint8_t kDtrControlDisable = 0;
inline constexpr std::uint8_t kDtrControlEnable = 1;
inline constexpr std::uint8_t kDtrControlHandshake = 2;
inline constexpr std::uint8_t kRtsControlDisable = 0;
inline constexpr std::uint8_t kRtsControlEnable = 1;
inline constexpr std::uint8_t kRtsControlHandshake = 2;

// DCB parity codes.
inline constexpr std::uint8_t kNoParity = 0;
inline constexpr std::uint8_t kOddParity = 1;
inline constexpr std::uint8_t kEvenParity = 2;
inline constexpr std::uint8_t kMarkParity = 3;
inline constexpr std::uint8_t kSpaceParity = 4;

// DCB stop-bit codes.
inline constexpr std::uint8_t kOneStopBit = 0;
inline constexpr std::uint8_t kOne5StopBits = 1;
inline constexpr std::uint8_t kTwoStopBits = 2;

// The line configuration the component sets and reads back whole: speed, framing, the
// handshake on each line and the special characters.
struct TDcb {
    std::uint32_t BaudRate = 9600;
    bool fBinary = true;
    bool fParity = false;
    bool fOutxCtsFlow = false;
    bool fOutxDsrFlow = false;
    std::uint8_t fDtrControl = kDtrControlEnable;
    bool fDsrSensitivity = false;
    bool fTXContinueOnXoff = false;
    bool fOutX = false;
    bool fInX = false;
    bool fErrorChar = false;
    bool fNull = false;
    std::uint8_t fRtsControl = kRtsControlEnable;
    bool fAbortOnError = false;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = kNoParity;
    std::uint8_t StopBits = kOneStopBit;
    char XonChar = 17;
    char XoffChar = 19;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;

    bool operator==(const TDcb&) const = default;
};

inline constexpr std::uint32_t kMaxDword = 0xFFFFFFFF;

struct TCommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;

    bool operator==(const TCommTimeouts&) const = default;
};

// The device status of ClearCommError.
struct TComStat {
    bool fCtsHold = false;
    bool fDsrHold = false;
    bool fRlsdHold = false;
    bool fXoffHold = false;
    bool fXoffSent = false;
    bool fEof = false;
    bool fTxim = false;
    std::uint32_t cbInQue = 0;
    std::uint32_t cbOutQue = 0;
};

// What starting or polling an overlapped transfer says.
enum class TIoStatus {
    ioDone,    // finished; the byte count is valid
    ioPending, // still running (leIoPending when started, leIoIncomplete when polled)
    ioFailed,  // failed; GetLastError has the reason, the byte count what was moved
};

// One transfer record: the state of a read or write that may run on after the call that
// started it (on Linux, a non-blocking transfer finished by poll). The component makes one for
// reads and one for writes at construction and reuses them for every transfer. A record may keep
// its own copy of the bytes of a running write, so the caller's buffer is free once WriteFile
// returns.
class TTransferRecord {
public:
    virtual ~TTransferRecord() = default;
};

// What one wait for line events ended with.
enum class TWaitResult {
    wrEvent,     // events occurred; the mask holds them
    wrFailed,    // the wait failed or ended without an event; try again
    wrHungUp,    // the device is gone (unplugged adapter, peer closed): waiting again is futile
    wrCancelled, // Cancel was called
};

// The event thread's wait. Made on the main thread when the port opens, used by the event
// thread only, cancelled from the main thread by Close.
class TCommEventWaiter {
public:
    virtual ~TCommEventWaiter() = default;
    // Blocks until one of the events selected by SetCommMask occurs, the device hangs up,
    // or Cancel is called.
    virtual TWaitResult Wait(std::uint32_t& eventMask) = 0;
    // Blocks for at most the given time or until Cancel is called; true when cancelled.
    virtual bool Pause(std::uint32_t milliseconds) = 0;
    // Ends a Wait or Pause under way at once, and every later one. Safe from any thread.
    virtual void Cancel() = 0;
};

class TSerialApi {
public:
    virtual ~TSerialApi() = default;

    // Opens the device a port name resolves to for reading and writing, held by no other
    // opener (on Linux: O_RDWR|O_NOCTTY|O_NONBLOCK, flock and TIOCEXCL).
    virtual THandle CreateFile(const std::string& deviceName) = 0;
    // Whether the handle is a character device (S_ISCHR on Linux).
    virtual bool IsCharacterDevice(THandle handle) = 0;
    virtual bool CloseHandle(THandle handle) = 0;
    // Why the last operation that failed on the calling thread failed.
    virtual TLinkError GetLastError() = 0;

    virtual bool SetupComm(THandle handle, std::uint32_t inQueue, std::uint32_t outQueue) = 0;
    virtual bool GetCommState(THandle handle, TDcb& dcb) = 0;
    virtual bool SetCommState(THandle handle, const TDcb& dcb) = 0;
    virtual bool SetCommTimeouts(THandle handle, const TCommTimeouts& timeouts) = 0;
    virtual bool SetCommMask(THandle handle, std::uint32_t eventMask) = 0;

    virtual std::unique_ptr<TTransferRecord> CreateTransferRecord() = 0;
    virtual TIoStatus WriteFile(THandle handle, TTransferRecord& record, const char* data,
                                std::uint32_t count, std::uint32_t& transferred) = 0;
    virtual TIoStatus ReadFile(THandle handle, TTransferRecord& record, char* buffer,
                               std::uint32_t count, std::uint32_t& transferred) = 0;
    // The outcome of the transfer last started on the record; with wait, blocks until it
    // ends (a read then ends by the time-out rule).
    virtual TIoStatus GetOverlappedResult(THandle handle, TTransferRecord& record, bool wait,
                                          std::uint32_t& transferred) = 0;

    virtual bool ClearCommError(THandle handle, std::uint32_t& errors, TComStat& stat) = 0;
    virtual bool PurgeComm(THandle handle, std::uint32_t flags) = 0;
    virtual bool EscapeCommFunction(THandle handle, std::uint32_t function) = 0;
    virtual bool GetCommModemStatus(THandle handle, std::uint32_t& modemStatus) = 0;

    virtual std::unique_ptr<TCommEventWaiter> CreateEventWaiter(THandle handle) = 0;

    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

} // namespace devlink
