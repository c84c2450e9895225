// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linux_serial_api.h"

#include "platform/linux/comm_event_waiter.h"
#include "platform/linux/last_error.h"
#include "platform/linux/line_settings.h"
#include "platform/linux/serial_transfer.h"

#include <cerrno>
#include <chrono>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>

namespace platform {

namespace {

using devlink::TIoStatus;

// Drives one modem control line. A device without modem lines (a pseudo-terminal) has
// nothing to drive, which is no failure.
bool SetModemLine(int fd, int line, bool on) {
    if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) {
        return true;
    }
    return errno == ENOTTY || errno == EINVAL || FailWithErrno();
}

bool ApplyControlLines(int fd, const devlink::TDcb& dcb) {
    const bool dtrOn = dcb.fDtrControl != devlink::kDtrControlDisable;
    if (!SetModemLine(fd, TIOCM_DTR, dtrOn)) {
        return false;
    }
    // With RTS handshake the driver drives RTS itself.
    if (dcb.fRtsControl == devlink::kRtsControlHandshake) {
        return true;
    }
    return SetModemLine(fd, TIOCM_RTS, dcb.fRtsControl == devlink::kRtsControlEnable);
}

bool Succeeded(int result) {
    return result == 0 || FailWithErrno();
}

TSerialTransferRecord* OwnRecord(devlink::TTransferRecord& record) {
    auto* own = dynamic_cast<TSerialTransferRecord*>(&record);
    if (own == nullptr) {
        FailWith(EINVAL);
    }
    return own;
}

TIoStatus FailTransfer(std::uint32_t& transferred) {
    transferred = 0;
    return TIoStatus::ioFailed;
}

std::uint32_t ModemStatusOf(int lines) {
    std::uint32_t status = 0;
    status |= (lines & TIOCM_CTS) ? devlink::kMsCtsOn : 0;
    status |= (lines & TIOCM_DSR) ? devlink::kMsDsrOn : 0;
    status |= (lines & TIOCM_RNG) ? devlink::kMsRingOn : 0;
    status |= (lines & TIOCM_CD) ? devlink::kMsRlsdOn : 0;
    return status;
}

} // namespace

TLinuxSerialApi::TLinuxSerialApi(TPortTable table) : FTable(std::move(table)) {}

TLinuxSerialApi::~TLinuxSerialApi() {
    std::lock_guard lock(FPortsLock);
    for (auto& [handle, port] : FPorts) {
        port->Close();
    }
}

devlink::THandle TLinuxSerialApi::CreateFile(const std::string& deviceName) {
    const std::optional<std::filesystem::path> device = FTable.ResolveSerial(deviceName);
    if (!device) {
        FailWith(ENOENT);
        return devlink::kInvalidHandle;
    }
    std::shared_ptr<TSerialPort> port = TSerialPort::Open(*device);
    if (!port) {
        FailWithErrno();
        return devlink::kInvalidHandle;
    }
    std::lock_guard lock(FPortsLock);
    const devlink::THandle handle = FNextHandle++;
    FPorts.emplace(handle, std::move(port));
    return handle;
}

bool TLinuxSerialApi::IsCharacterDevice(devlink::THandle handle) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    struct stat info {};
    return port && Succeeded(::fstat(port->Device(), &info)) && S_ISCHR(info.st_mode);
}

bool TLinuxSerialApi::CloseHandle(devlink::THandle handle) {
    std::shared_ptr<TSerialPort> port;
    {
        std::lock_guard lock(FPortsLock);
        const auto found = FPorts.find(handle);
        if (found == FPorts.end()) {
            return FailWith(EBADF);
        }
        port = std::move(found->second);
        FPorts.erase(found);
    }
    port->Close();
    return true;
}

devlink::TLinkError TLinuxSerialApi::GetLastError() {
    return LastLinkError();
}

bool TLinuxSerialApi::SetupComm(devlink::THandle handle, std::uint32_t, std::uint32_t) {
    // The driver's queues have sizes of their own; asking is no failure.
    return PortOf(handle) != nullptr;
}

bool TLinuxSerialApi::GetCommState(devlink::THandle handle, devlink::TDcb& dcb) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    if (!port) {
        return false;
    }
    devlink::TDcb current = port->Dcb();
    if (!ReadDcbFromLine(port->Device(), current)) {
        return FailWithErrno();
    }
    dcb = current;
    return true;
}

bool TLinuxSerialApi::SetCommState(devlink::THandle handle, const devlink::TDcb& dcb) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    if (!port) {
        return false;
    }
    if (!ApplyDcbToLine(port->Device(), dcb)) {
        return FailWithErrno();
    }
    port->SetDcb(dcb);
    return ApplyControlLines(port->Device(), dcb);
}

bool TLinuxSerialApi::SetCommTimeouts(devlink::THandle handle,
                                      const devlink::TCommTimeouts& timeouts) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    if (port) {
        port->SetTimeouts(timeouts);
    }
    return port != nullptr;
}

bool TLinuxSerialApi::SetCommMask(devlink::THandle handle, std::uint32_t eventMask) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    if (port) {
        port->SetEventMask(eventMask & devlink::kEvAll);
    }
    return port != nullptr;
}

std::unique_ptr<devlink::TTransferRecord> TLinuxSerialApi::CreateTransferRecord() {
    return std::make_unique<TSerialTransferRecord>();
}

TIoStatus TLinuxSerialApi::WriteFile(devlink::THandle handle, devlink::TTransferRecord& record,
                                     const char* data, std::uint32_t count,
                                     std::uint32_t& transferred) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    TSerialTransferRecord* own = port ? OwnRecord(record) : nullptr;
    if (own == nullptr) {
        return FailTransfer(transferred);
    }
    if (data == nullptr && count > 0) {
        FailWith(EFAULT);
        return FailTransfer(transferred);
    }
    return own->StartWrite(*port, data, count, transferred);
}

TIoStatus TLinuxSerialApi::ReadFile(devlink::THandle handle, devlink::TTransferRecord& record,
                                    char* buffer, std::uint32_t count, std::uint32_t& transferred) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    TSerialTransferRecord* own = port ? OwnRecord(record) : nullptr;
    if (own == nullptr) {
        return FailTransfer(transferred);
    }
    if (buffer == nullptr && count > 0) {
        FailWith(EFAULT);
        return FailTransfer(transferred);
    }
    return own->StartRead(*port, buffer, count, transferred);
}

TIoStatus TLinuxSerialApi::GetOverlappedResult(devlink::THandle handle,
                                               devlink::TTransferRecord& record, bool wait,
                                               std::uint32_t& transferred) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    TSerialTransferRecord* own = port ? OwnRecord(record) : nullptr;
    if (own == nullptr) {
        return FailTransfer(transferred);
    }
    return own->Continue(*port, wait, transferred);
}

bool TLinuxSerialApi::ClearCommError(devlink::THandle handle, std::uint32_t& errors,
                                     devlink::TComStat& stat) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    if (!port) {
        return false;
    }
    const int fd = port->Device();
    std::uint32_t inQueue = 0;
    int outQueue = 0;
    if (!port->InputWaiting(inQueue) || !Succeeded(::ioctl(fd, TIOCOUTQ, &outQueue))) {
        return FailWithErrno();
    }
    errors = port->TakeLineErrors();
    stat = devlink::TComStat{};
    stat.cbInQue = inQueue;
    stat.cbOutQue = static_cast<std::uint32_t>(outQueue);
    int lines = 0;
    if (::ioctl(fd, TIOCMGET, &lines) == 0) {
        const devlink::TDcb dcb = port->Dcb();
        stat.fCtsHold = dcb.fOutxCtsFlow && (lines & TIOCM_CTS) == 0;
        stat.fDsrHold = dcb.fOutxDsrFlow && (lines & TIOCM_DSR) == 0;
    }
    // Linux has no carrier handshake, so nothing waits for RLSD; whether an XOFF from the
    // far end stopped output, or the driver sent one, it does not tell: those stay false.
    stat.fXoffHold = port->OutputHeld();
    return true;
}

bool TLinuxSerialApi::PurgeComm(devlink::THandle handle, std::uint32_t flags) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    if (!port) {
        return false;
    }
    if ((flags & ~(devlink::kPurgeTxAbort | devlink::kPurgeRxAbort | devlink::kPurgeTxClear |
                   devlink::kPurgeRxClear)) != 0) {
        return FailWith(EINVAL);
    }
    if (flags & devlink::kPurgeTxAbort) {
        port->AbortWrites();
    }
    if (flags & devlink::kPurgeRxAbort) {
        port->AbortReads();
    }
    if ((flags & devlink::kPurgeRxClear) && !port->DiscardInput()) {
        return FailWithErrno();
    }
    return (flags & devlink::kPurgeTxClear) == 0 || port->DiscardHeldOutput() || FailWithErrno();
}

bool TLinuxSerialApi::EscapeCommFunction(devlink::THandle handle, std::uint32_t function) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    if (!port) {
        return false;
    }
    const int fd = port->Device();
    switch (function) {
    case devlink::kSetXoff:
    case devlink::kSetXon:
        if (!Succeeded(::tcflow(fd, function == devlink::kSetXoff ? TCOOFF : TCOON))) {
            return false;
        }
        port->SetOutputHeld(function == devlink::kSetXoff);
        return true;
    case devlink::kSetRts:
    case devlink::kClrRts:
        return SetModemLine(fd, TIOCM_RTS, function == devlink::kSetRts);
    case devlink::kSetDtr:
    case devlink::kClrDtr:
        return SetModemLine(fd, TIOCM_DTR, function == devlink::kSetDtr);
    case devlink::kSetBreak:
        return Succeeded(::ioctl(fd, TIOCSBRK));
    case devlink::kClrBreak:
        return Succeeded(::ioctl(fd, TIOCCBRK));
    default:
        return FailWith(EINVAL);
    }
}

bool TLinuxSerialApi::GetCommModemStatus(devlink::THandle handle, std::uint32_t& modemStatus) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    int lines = 0;
    if (!port || !Succeeded(::ioctl(port->Device(), TIOCMGET, &lines))) {
        return false;
    }
    modemStatus = ModemStatusOf(lines);
    return true;
}

std::unique_ptr<devlink::TCommEventWaiter>
TLinuxSerialApi::CreateEventWaiter(devlink::THandle handle) {
    std::shared_ptr<TSerialPort> port = PortOf(handle);
    if (!port) {
        return nullptr;
    }
    std::unique_ptr<TLinuxCommEventWaiter> waiter = TLinuxCommEventWaiter::Create(std::move(port));
    if (!waiter) {
        FailWithErrno();
    }
    return waiter;
}

void TLinuxSerialApi::Sleep(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::shared_ptr<TSerialPort> TLinuxSerialApi::PortOf(devlink::THandle handle) const {
    std::lock_guard lock(FPortsLock);
    const auto found = FPorts.find(handle);
    if (found == FPorts.end()) {
        FailWith(EBADF);
        return nullptr;
    }
    return found->second;
}

} // namespace platform
