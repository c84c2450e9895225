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

using link::TIoStatus;

// Drives one modem control line. A device without modem lines (a pseudo-terminal) has
// nothing to drive, which is no failure.
bool SetModemLine(int fd, int line, bool on) {
    if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) {
        return true;
    }
    return errno == ENOTTY || errno == EINVAL || FailWithErrno();
}

bool ApplyControlLines(int fd, const link::TDcb& dcb) {
    const bool dtrOn = dcb.fDtrControl != link::kDtrControlDisable;
    if (!SetModemLine(fd, TIOCM_DTR, dtrOn)) {
        return false;
    }
    // With RTS handshake the driver drives RTS itself.
    if (dcb.fRtsControl == link::kRtsControlHandshake) {
        return true;
    }
    return SetModemLine(fd, TIOCM_RTS, dcb.fRtsControl == link::kRtsControlEnable);
}

bool Succeeded(int result) {
    return result == 0 || FailWithErrno();
}

TSerialTransferRecord* OwnRecord(link::TTransferRecord& record) {
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
    status |= (lines & TIOCM_CTS) ? link::kMsCtsOn : 0;
    status |= (lines & TIOCM_DSR) ? link::kMsDsrOn : 0;
    status |= (lines & TIOCM_RNG) ? link::kMsRingOn : 0;
    status |= (lines & TIOCM_CD) ? link::kMsRlsdOn : 0;
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

link::THandle TLinuxSerialApi::CreateFile(const std::string& deviceName) {
    const std::optional<std::filesystem::path> device = FTable.ResolveSerial(deviceName);
    if (!device) {
        FailWith(ENOENT);
        return link::kInvalidHandle;
    }
    std::shared_ptr<TSerialPort> port = TSerialPort::Open(*device);
    if (!port) {
        FailWithErrno();
        return link::kInvalidHandle;
    }
    std::lock_guard lock(FPortsLock);
    const link::THandle handle = FNextHandle++;
    FPorts.emplace(handle, std::move(port));
    return handle;
}

bool TLinuxSerialApi::IsCharacterDevice(link::THandle handle) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    struct stat info {};
    return port && Succeeded(::fstat(port->Device(), &info)) && S_ISCHR(info.st_mode);
}

bool TLinuxSerialApi::CloseHandle(link::THandle handle) {
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

std::uint32_t TLinuxSerialApi::GetLastError() {
    return LastErrorCode();
}

bool TLinuxSerialApi::SetupComm(link::THandle handle, std::uint32_t, std::uint32_t) {
    // The driver's queues have sizes of their own; asking is no failure.
    return PortOf(handle) != nullptr;
}

bool TLinuxSerialApi::GetCommState(link::THandle handle, link::TDcb& dcb) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    if (!port) {
        return false;
    }
    link::TDcb current = port->Dcb();
    if (!ReadDcbFromLine(port->Device(), current)) {
        return FailWithErrno();
    }
    dcb = current;
    return true;
}

bool TLinuxSerialApi::SetCommState(link::THandle handle, const link::TDcb& dcb) {
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

bool TLinuxSerialApi::SetCommTimeouts(link::THandle handle, const link::TCommTimeouts& timeouts) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    if (port) {
        port->SetTimeouts(timeouts);
    }
    return port != nullptr;
}

bool TLinuxSerialApi::SetCommMask(link::THandle handle, std::uint32_t eventMask) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    if (port) {
        port->SetEventMask(eventMask & link::kEvAll);
    }
    return port != nullptr;
}

std::unique_ptr<link::TTransferRecord> TLinuxSerialApi::CreateTransferRecord() {
    return std::make_unique<TSerialTransferRecord>();
}

TIoStatus TLinuxSerialApi::WriteFile(link::THandle handle, link::TTransferRecord& record,
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

TIoStatus TLinuxSerialApi::ReadFile(link::THandle handle, link::TTransferRecord& record,
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

TIoStatus TLinuxSerialApi::GetOverlappedResult(link::THandle handle, link::TTransferRecord& record,
                                               bool wait, std::uint32_t& transferred) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    TSerialTransferRecord* own = port ? OwnRecord(record) : nullptr;
    if (own == nullptr) {
        return FailTransfer(transferred);
    }
    return own->Continue(*port, wait, transferred);
}

bool TLinuxSerialApi::ClearCommError(link::THandle handle, std::uint32_t& errors,
                                     link::TComStat& stat) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    if (!port) {
        return false;
    }
    const int fd = port->Device();
    int inQueue = 0;
    int outQueue = 0;
    if (!Succeeded(::ioctl(fd, TIOCINQ, &inQueue)) ||
        !Succeeded(::ioctl(fd, TIOCOUTQ, &outQueue))) {
        return false;
    }
    errors = port->TakeLineErrors();
    stat = link::TComStat{};
    stat.cbInQue = static_cast<std::uint32_t>(inQueue);
    stat.cbOutQue = static_cast<std::uint32_t>(outQueue);
    int lines = 0;
    if (::ioctl(fd, TIOCMGET, &lines) == 0) {
        const link::TDcb dcb = port->Dcb();
        stat.fCtsHold = dcb.fOutxCtsFlow && (lines & TIOCM_CTS) == 0;
        stat.fDsrHold = dcb.fOutxDsrFlow && (lines & TIOCM_DSR) == 0;
    }
    return true;
}

bool TLinuxSerialApi::PurgeComm(link::THandle handle, std::uint32_t flags) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    if (!port) {
        return false;
    }
    if ((flags & ~(link::kPurgeTxAbort | link::kPurgeRxAbort | link::kPurgeTxClear |
                   link::kPurgeRxClear)) != 0) {
        return FailWith(EINVAL);
    }
    if (flags & link::kPurgeTxAbort) {
        port->AbortWrites();
    }
    if (flags & link::kPurgeRxAbort) {
        port->AbortReads();
    }
    if (flags & link::kPurgeRxClear) {
        int discarded = 0;
        if (::ioctl(port->Device(), TIOCINQ, &discarded) == 0) {
            port->NoteConsumed(static_cast<std::uint64_t>(discarded));
        }
        if (!Succeeded(::tcflush(port->Device(), TCIFLUSH))) {
            return false;
        }
    }
    return (flags & link::kPurgeTxClear) == 0 || Succeeded(::tcflush(port->Device(), TCOFLUSH));
}

bool TLinuxSerialApi::EscapeCommFunction(link::THandle handle, std::uint32_t function) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    if (!port) {
        return false;
    }
    const int fd = port->Device();
    switch (function) {
    case link::kSetXoff:
        return Succeeded(::tcflow(fd, TCOOFF));
    case link::kSetXon:
        return Succeeded(::tcflow(fd, TCOON));
    case link::kSetRts:
    case link::kClrRts:
        return SetModemLine(fd, TIOCM_RTS, function == link::kSetRts);
    case link::kSetDtr:
    case link::kClrDtr:
        return SetModemLine(fd, TIOCM_DTR, function == link::kSetDtr);
    case link::kSetBreak:
        return Succeeded(::ioctl(fd, TIOCSBRK));
    case link::kClrBreak:
        return Succeeded(::ioctl(fd, TIOCCBRK));
    default:
        return FailWith(EINVAL);
    }
}

bool TLinuxSerialApi::GetCommModemStatus(link::THandle handle, std::uint32_t& modemStatus) {
    const std::shared_ptr<TSerialPort> port = PortOf(handle);
    int lines = 0;
    if (!port || !Succeeded(::ioctl(port->Device(), TIOCMGET, &lines))) {
        return false;
    }
    modemStatus = ModemStatusOf(lines);
    return true;
}

std::unique_ptr<link::TCommEventWaiter> TLinuxSerialApi::CreateEventWaiter(link::THandle handle) {
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

std::shared_ptr<TSerialPort> TLinuxSerialApi::PortOf(link::THandle handle) const {
    std::lock_guard lock(FPortsLock);
    const auto found = FPorts.find(handle);
    if (found == FPorts.end()) {
        FailWith(EBADF);
        return nullptr;
    }
    return found->second;
}

} // namespace platform
