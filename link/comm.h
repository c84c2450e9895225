// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The serial port component: TThreadComm holds the state and operations, TComm is the
// published face the cutter session owns (as Comm1). All operations run on the thread
// that owns the session; only the event thread waits beside it.

#include "link/serial_api.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace devlink {

enum TBaudRate : std::uint8_t {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TParity : std::uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits : std::uint8_t { sb10, sb15, sb20 };
enum TDataBits : std::uint8_t { da4, da5, da6, da7, da8 };
enum TFlowControl : std::uint8_t { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };
enum TCommOption : std::uint8_t {
    coParityCheck,
    coDsrSensitivity,
    coIgnoreXOff,
    coErrorChar,
    coNullStrip
};
enum TCommEventType : std::uint8_t {
    evBreak,
    evCts,
    evDsr,
    evError,
    evRing,
    evRlsd,
    evRxChar,
    evRxFlag,
    evTxEmpty
};

// Sets held as bit masks: bit n stands for the member of ordinal n.
using TCommEventTypes = std::uint16_t;
using TCommOptions = std::uint8_t;
inline constexpr TCommEventTypes kAllCommEvents = 0x01FF;

// Handlers. The sender is always the component.
using TNotifyEvent = std::function<void(void* sender)>;
using TCommErrorEvent = std::function<void(void* sender, int errors)>;
using TCommRxCharEvent = std::function<void(void* sender, std::uint32_t count)>;
using TCommStatusEvent = std::function<void(void* sender, std::uint32_t status, TComStat comStat)>;

class TThreadComm;
class TCommEventThread;

class TCommEventChars {
public:
    explicit TCommEventChars(TThreadComm* owner);

    char XOnChar() const { return FChars[0]; }
    char XOffChar() const { return FChars[1]; }
    char ErrorChar() const { return FChars[2]; }
    char EofChar() const { return FChars[3]; }
    char EvtChar() const { return FChars[4]; }
    // index 1 XOnChar .. 5 EvtChar; re-applies the owner's DCB (without its lock).
    void SetEventChar(int index, char value);
    void SetXOnChar(char value) { SetEventChar(1, value); }
    void SetXOffChar(char value) { SetEventChar(2, value); }
    void SetErrorChar(char value) { SetEventChar(3, value); }
    void SetEofChar(char value) { SetEventChar(4, value); }
    void SetEvtChar(char value) { SetEventChar(5, value); }
    // Copies the five bytes and applies nothing.
    void Assign(const TCommEventChars& source);

private:
    TThreadComm* FOwner;
    char FChars[5] = {17, 19, 0, 0, 0};
};

class TThreadComm {
public:
    explicit TThreadComm(TSerialApi& api);
    virtual ~TThreadComm();
    TThreadComm(const TThreadComm&) = delete;
    TThreadComm& operator=(const TThreadComm&) = delete;

    void Open();
    void Close();
    bool Enabled() const;
    void CheckOpen();
    virtual void CreateHandle();
    void DestroyHandle();

    int Write(const char* data, std::uint32_t count);
    int WriteEx(const char* data, std::uint32_t count, int waitMode);
    int Read(char* buffer, std::uint32_t count);
    int InQueCount();
    int OutQueCount();
    void PurgeIn();
    void PurgeOut();

    void UpdateDataControlBlock();
    void UpdateDataControlBlockLock();
    void UpdateCommTimeouts();
    void EscapeComm(int function);
    void SetDTRState(bool state);
    void SetRTSState(bool state);
    void SetBREAKState(bool state);
    void SetXONState(bool state);
    bool GetModemState(int selector);
    bool GetComState(int selector);
    void Lock();
    void Unlock();
    void HandleCommEvent(void* sender, std::uint32_t status);

    // Receives every failure; does nothing with it.
    virtual void ReportCommError(const char* format, int code);

    // Properties.
    const std::string& DeviceName() const;
    void SetDeviceName(const std::string& value);
    int ReadTimeout() const;
    void SetReadTimeout(int value);
    int WriteTimeout() const;
    void SetWriteTimeout(int value);
    std::uint16_t ReadBufSize() const;
    void SetReadBufSize(std::uint16_t value);
    std::uint16_t WriteBufSize() const;
    void SetWriteBufSize(std::uint16_t value);
    std::uint32_t SuspendTime() const;
    void SetSuspendTime(std::uint32_t value);
    TCommEventTypes MonitorEvents() const;
    void SetMonitorEvents(TCommEventTypes value);
    TBaudRate BaudRate() const;
    void SetBaudRate(TBaudRate value);
    TParity Parity() const;
    void SetParity(TParity value);
    TStopBits StopBits() const;
    void SetStopBits(TStopBits value);
    TDataBits DataBits() const;
    void SetDataBits(TDataBits value);
    TCommEventChars& EventChars();
    TCommOptions Options() const;
    void SetOptions(TCommOptions value);
    TFlowControl FlowControl() const;
    void SetFlowControl(TFlowControl value);

    TNotifyEvent OnBreak, OnCts, OnDsr, OnRing, OnRlsd, OnRxFlag, OnTxEmpty;
    TCommErrorEvent OnError;
    TCommRxCharEvent OnRxChar;
    TCommStatusEvent OnComStatEvent;

    // The last failure the device reported (the errno of a failed Open, in the link's
    // words), so a caller can tell an operator why a port did not open.
    TLinkError LastError() const;

    // The event thread started by the last Open (kept, stopped, after Close); null before.
    TCommEventThread* EventThread() const;

private:
    struct TPendingReport {
        const char* Format = nullptr;
        int Code = 0;
    };

    std::optional<TPendingReport> OpenLocked();
    bool StartEventThread();
    int NoteDeviceError();
    void ClearLineErrors();
    void SettleAbandonedWrite(bool abortWrite);
    void DrainOutput();
    std::uint32_t AwaitWrite(int waitMode);
    std::uint32_t AwaitRead();
    bool ReadDeviceStatus(std::uint32_t& errors, TComStat& stat);
    // Values past the last member of their enumeration are ignored.
    template <typename T>
    void SetLineSetting(T& field, T value, T lastMember);
    template <typename T>
    void SetWhileClosed(T& field, T value);

    TSerialApi& FApi;
    THandle FHandle = kInvalidHandle;
    TDcb FDcb;
    std::string FDeviceName = "Com2";
    std::recursive_mutex FLock;
    int FReadTimeout = 1000;
    int FWriteTimeout = 1000;
    std::uint16_t FReadBufSize = 4096;
    std::uint16_t FWriteBufSize = 2048;
    std::uint32_t FSuspendTime = 5;
    TCommEventTypes FMonitorEvents = kAllCommEvents;
    TBaudRate FBaudRate = br9600;
    TParity FParity = paNone;
    TStopBits FStopBits = sb10;
    TDataBits FDataBits = da8;
    bool FOpen = false;
    std::unique_ptr<TTransferRecord> FWriteRecord;
    std::unique_ptr<TTransferRecord> FReadRecord;
    // A WriteEx gave up on a write still running on the write record.
    bool FWriteAbandoned = false;
    std::unique_ptr<TCommEventThread> FEventThread;
    TCommEventChars FEventChars{this};
    TCommOptions FOptions = 0;
    TFlowControl FFlowControl = fcDefault;
    TLinkError FLastError = TLinkError::leNone;
    // Counts closes, so a dispatch can tell that a handler closed the port under it.
    std::uint64_t FCloseCount = 0;
};

class TComm : public TThreadComm {
public:
    explicit TComm(TSerialApi& api) : TThreadComm(api) {}
};

} // namespace devlink
