// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/serial_api.h"
#include "platform/linux/port_table.h"
#include "platform/linux/serial_port.h"

#include <map>
#include <memory>
#include <mutex>

namespace platform {

// The serial operations over Linux terminal devices. Devices are named as the port table
// names them ("COM3"); any other name is not found (ENOENT). A device is held
// exclusively while its handle is open: a second open, from this or any other Tessaro,
// finds it busy (EBUSY). Handles are numbers of this object's own, never reused; a
// descriptor never leaves it. Failures leave their errno, translated once (last_error.h),
// for GetLastError on the calling thread.
class TLinuxSerialApi final : public devlink::TSerialApi {
public:
    explicit TLinuxSerialApi(TPortTable table = TPortTable());
    ~TLinuxSerialApi() override;
    TLinuxSerialApi(const TLinuxSerialApi&) = delete;
    TLinuxSerialApi& operator=(const TLinuxSerialApi&) = delete;

    devlink::THandle CreateFile(const std::string& deviceName) override;
    bool IsCharacterDevice(devlink::THandle handle) override;
    bool CloseHandle(devlink::THandle handle) override;
    devlink::TLinkError GetLastError() override;

    bool SetupComm(devlink::THandle handle, std::uint32_t inQueue, std::uint32_t outQueue) override;
    bool GetCommState(devlink::THandle handle, devlink::TDcb& dcb) override;
    bool SetCommState(devlink::THandle handle, const devlink::TDcb& dcb) override;
    bool SetCommTimeouts(devlink::THandle handle, const devlink::TCommTimeouts& timeouts) override;
    bool SetCommMask(devlink::THandle handle, std::uint32_t eventMask) override;

    std::unique_ptr<devlink::TTransferRecord> CreateTransferRecord() override;
    devlink::TIoStatus WriteFile(devlink::THandle handle, devlink::TTransferRecord& record,
                                 const char* data, std::uint32_t count,
                                 std::uint32_t& transferred) override;
    devlink::TIoStatus ReadFile(devlink::THandle handle, devlink::TTransferRecord& record,
                                char* buffer, std::uint32_t count,
                                std::uint32_t& transferred) override;
    devlink::TIoStatus GetOverlappedResult(devlink::THandle handle,
                                           devlink::TTransferRecord& record, bool wait,
                                           std::uint32_t& transferred) override;

    bool ClearCommError(devlink::THandle handle, std::uint32_t& errors,
                        devlink::TComStat& stat) override;
    bool PurgeComm(devlink::THandle handle, std::uint32_t flags) override;
    bool EscapeCommFunction(devlink::THandle handle, std::uint32_t function) override;
    bool GetCommModemStatus(devlink::THandle handle, std::uint32_t& modemStatus) override;

    std::unique_ptr<devlink::TCommEventWaiter> CreateEventWaiter(devlink::THandle handle) override;

    void Sleep(std::uint32_t milliseconds) override;

private:
    // The open port of `handle`; nullptr (and EBADF) when there is none.
    std::shared_ptr<TSerialPort> PortOf(devlink::THandle handle) const;

    TPortTable FTable;
    mutable std::mutex FPortsLock;
    std::map<devlink::THandle, std::shared_ptr<TSerialPort>> FPorts;
    devlink::THandle FNextHandle = 1;
};

} // namespace platform
