// SPDX-License-Identifier: GPL-3.0-or-later
// The component's properties: the settings that only a closed port takes, and the line
// settings and event characters that an open port applies at once.

#include "link/comm.h"

#include "link/comm_event_thread.h"

#include <algorithm>
#include <iterator>

namespace devlink {

namespace {

constexpr TCommOptions kAllCommOptions = 0x1F;

} // namespace

// --- TCommEventChars -------------------------------------------------------------------

TCommEventChars::TCommEventChars(TThreadComm* owner) : FOwner(owner) {}

void TCommEventChars::SetEventChar(int index, char value) {
    if (index < 1 || index > 5) {
        return;
    }
    FChars[index - 1] = value;
    if (FOwner != nullptr) {
        FOwner->UpdateDataControlBlock();
    }
}

void TCommEventChars::Assign(const TCommEventChars& source) {
    std::copy(std::begin(source.FChars), std::end(source.FChars), std::begin(FChars));
}

// --- TThreadComm ------------------------------------------------------------------------

template <typename T>
void TThreadComm::SetWhileClosed(T& field, T value) {
    if (!FOpen && field != value) {
        field = value;
    }
}

template <typename T>
void TThreadComm::SetLineSetting(T& field, T value, T lastMember) {
    if (value <= lastMember && field != value) {
        field = value;
        UpdateDataControlBlockLock();
    }
}

const std::string& TThreadComm::DeviceName() const {
    return FDeviceName;
}
void TThreadComm::SetDeviceName(const std::string& value) {
    SetWhileClosed(FDeviceName, value);
}
int TThreadComm::ReadTimeout() const {
    return FReadTimeout;
}
void TThreadComm::SetReadTimeout(int value) {
    FReadTimeout = value;
}
int TThreadComm::WriteTimeout() const {
    return FWriteTimeout;
}
void TThreadComm::SetWriteTimeout(int value) {
    FWriteTimeout = value;
}
std::uint16_t TThreadComm::ReadBufSize() const {
    return FReadBufSize;
}
void TThreadComm::SetReadBufSize(std::uint16_t value) {
    SetWhileClosed(FReadBufSize, value);
}
std::uint16_t TThreadComm::WriteBufSize() const {
    return FWriteBufSize;
}
void TThreadComm::SetWriteBufSize(std::uint16_t value) {
    SetWhileClosed(FWriteBufSize, value);
}
std::uint32_t TThreadComm::SuspendTime() const {
    return FSuspendTime;
}
void TThreadComm::SetSuspendTime(std::uint32_t value) {
    SetWhileClosed(FSuspendTime, value);
}
TCommEventTypes TThreadComm::MonitorEvents() const {
    return FMonitorEvents;
}
void TThreadComm::SetMonitorEvents(TCommEventTypes value) {
    SetWhileClosed(FMonitorEvents, value);
}
TBaudRate TThreadComm::BaudRate() const {
    return FBaudRate;
}
void TThreadComm::SetBaudRate(TBaudRate value) {
    SetLineSetting(FBaudRate, value, br256000);
}
TParity TThreadComm::Parity() const {
    return FParity;
}
void TThreadComm::SetParity(TParity value) {
    SetLineSetting(FParity, value, paSpace);
}
TStopBits TThreadComm::StopBits() const {
    return FStopBits;
}
void TThreadComm::SetStopBits(TStopBits value) {
    SetLineSetting(FStopBits, value, sb20);
}
TDataBits TThreadComm::DataBits() const {
    return FDataBits;
}
void TThreadComm::SetDataBits(TDataBits value) {
    SetLineSetting(FDataBits, value, da8);
}
TCommEventChars& TThreadComm::EventChars() {
    return FEventChars;
}
TCommOptions TThreadComm::Options() const {
    return FOptions;
}
void TThreadComm::SetOptions(TCommOptions value) {
    SetLineSetting(FOptions, value, kAllCommOptions);
}
TFlowControl TThreadComm::FlowControl() const {
    return FFlowControl;
}
void TThreadComm::SetFlowControl(TFlowControl value) {
    SetLineSetting(FFlowControl, value, fcDefault);
}
TLinkError TThreadComm::LastError() const {
    return FLastError;
}
TCommEventThread* TThreadComm::EventThread() const {
    return FEventThread.get();
}

} // namespace devlink
