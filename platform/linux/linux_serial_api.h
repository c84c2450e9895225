#pragma once

#include "link/serial_api.h"
#include "platform/linux/port_table.h"
#include "platform/linux/serial_port.h"

#include <map>
#include <memory>
#include <mutex>

namespace platform {

// The serial operations over Linux terminal devices. Devices are named as the port table
// names them ("\\.\COM3"); any other name fails with ENOENT. A device is held exclusively
// while its handle is open: a second open, from this or any other Tessaro, fails with
// EBUSY. Handles are numbers of this object's own, never reused; a descriptor never leaves
// it. Failures leave errno (or a code of link/serial_api.h) for GetLastError on the
// calling thread.
class TLinuxSerialApi final : public link::TSerialApi {
public:
    explicit TLinuxSerialApi(TPortTable table = TPortTable());
    ~TLinuxSerialApi() override;
    TLinuxSerialApi(const TLinuxSerialApi&) = delete;
    TLinuxSerialApi& operator=(const TLinuxSerialApi&) = delete;

    link::THandle CreateFile(const std::string& deviceName) override;
    bool IsCharacterDevice(link::THandle handle) override;
    bool CloseHandle(link::THandle handle) override;
    std::uint32_t GetLastError() override;

    bool SetupComm(link::THandle handle, std::uint32_t inQueue, std::uint32_t outQueue) override;
    bool GetCommState(link::THandle handle, link::TDcb& dcb) override;
    bool SetCommState(link::THandle handle, const link::TDcb& dcb) override;
    bool SetCommTimeouts(link::THandle handle, const link::TCommTimeouts& timeouts) override;
    bool SetCommMask(link::THandle handle, std::uint32_t eventMask) override;

    std::unique_ptr<link::TTransferRecord> CreateTransferRecord() override;
    link::TIoStatus WriteFile(link::THandle handle, link::TTransferRecord& record, const char* data,
                              std::uint32_t count, std::uint32_t& transferred) override;
    link::TIoStatus ReadFile(link::THandle handle, link::TTransferRecord& record, char* buffer,
                             std::uint32_t count, std::uint32_t& transferred) override;
    link::TIoStatus GetOverlappedResult(link::THandle handle, link::TTransferRecord& record,
                                        bool wait, std::uint32_t& transferred) override;

    bool ClearCommError(link::THandle handle, std::uint32_t& errors, link::TComStat& stat) override;
    bool PurgeComm(link::THandle handle, std::uint32_t flags) override;
    bool EscapeCommFunction(link::THandle handle, std::uint32_t function) override;
    bool GetCommModemStatus(link::THandle handle, std::uint32_t& modemStatus) override;

    std::unique_ptr<link::TCommEventWaiter> CreateEventWaiter(link::THandle handle) override;

    void Sleep(std::uint32_t milliseconds) override;

private:
    // The open port of `handle`; nullptr (and EBADF) when there is none.
    std::shared_ptr<TSerialPort> PortOf(link::THandle handle) const;

    TPortTable FTable;
    mutable std::mutex FPortsLock;
    std::map<link::THandle, std::shared_ptr<TSerialPort>> FPorts;
    link::THandle FNextHandle = 1;
};

} // namespace platform
