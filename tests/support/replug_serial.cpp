// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/replug_serial.h"

namespace testsupport {

TReplugSerial::TReplugSerial(sim::TVirtualCutter& cutter, std::string portName)
    : FCutter(cutter), FPortName(std::move(portName)) {}

TReplugSerial::~TReplugSerial() = default;

sim::TInProcessSerial& TReplugSerial::Plug(const sim::TFaults& faults) {
    FPorts.push_back(std::make_unique<sim::TInProcessSerial>(FCutter, FPortName, faults));
    return Current();
}

devlink::THandle TReplugSerial::CreateFile(const std::string& deviceName) {
    return Current().CreateFile(deviceName);
}
bool TReplugSerial::IsCharacterDevice(devlink::THandle handle) {
    return Current().IsCharacterDevice(handle);
}
bool TReplugSerial::CloseHandle(devlink::THandle handle) {
    return Current().CloseHandle(handle);
}
devlink::TLinkError TReplugSerial::GetLastError() {
    return Current().GetLastError();
}
bool TReplugSerial::SetupComm(devlink::THandle handle, std::uint32_t inQueue,
                              std::uint32_t outQueue) {
    return Current().SetupComm(handle, inQueue, outQueue);
}
bool TReplugSerial::GetCommState(devlink::THandle handle, devlink::TDcb& dcb) {
    return Current().GetCommState(handle, dcb);
}
bool TReplugSerial::SetCommState(devlink::THandle handle, const devlink::TDcb& dcb) {
    return Current().SetCommState(handle, dcb);
}
bool TReplugSerial::SetCommTimeouts(devlink::THandle handle,
                                    const devlink::TCommTimeouts& timeouts) {
    return Current().SetCommTimeouts(handle, timeouts);
}
bool TReplugSerial::SetCommMask(devlink::THandle handle, std::uint32_t eventMask) {
    return Current().SetCommMask(handle, eventMask);
}
std::unique_ptr<devlink::TTransferRecord> TReplugSerial::CreateTransferRecord() {
    return Current().CreateTransferRecord();
}
devlink::TIoStatus TReplugSerial::WriteFile(devlink::THandle handle,
                                            devlink::TTransferRecord& record, const char* data,
                                            std::uint32_t count, std::uint32_t& transferred) {
    return Current().WriteFile(handle, record, data, count, transferred);
}
devlink::TIoStatus TReplugSerial::ReadFile(devlink::THandle handle,
                                           devlink::TTransferRecord& record, char* buffer,
                                           std::uint32_t count, std::uint32_t& transferred) {
    return Current().ReadFile(handle, record, buffer, count, transferred);
}
devlink::TIoStatus TReplugSerial::GetOverlappedResult(devlink::THandle handle,
                                                      devlink::TTransferRecord& record, bool wait,
                                                      std::uint32_t& transferred) {
    return Current().GetOverlappedResult(handle, record, wait, transferred);
}
bool TReplugSerial::ClearCommError(devlink::THandle handle, std::uint32_t& errors,
                                   devlink::TComStat& stat) {
    return Current().ClearCommError(handle, errors, stat);
}
bool TReplugSerial::PurgeComm(devlink::THandle handle, std::uint32_t flags) {
    return Current().PurgeComm(handle, flags);
}
bool TReplugSerial::EscapeCommFunction(devlink::THandle handle, std::uint32_t function) {
    return Current().EscapeCommFunction(handle, function);
}
bool TReplugSerial::GetCommModemStatus(devlink::THandle handle, std::uint32_t& modemStatus) {
    return Current().GetCommModemStatus(handle, modemStatus);
}
std::unique_ptr<devlink::TCommEventWaiter>
TReplugSerial::CreateEventWaiter(devlink::THandle handle) {
    return Current().CreateEventWaiter(handle);
}
void TReplugSerial::Sleep(std::uint32_t milliseconds) {
    Current().Sleep(milliseconds);
}

} // namespace testsupport
