// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/hardening/hardening_support.h"

#include "tests/support/main_window_probe.h"
#include "tests/support/qt_environment.h"

#include <QComboBox>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <malloc.h>
#include <time.h>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's count of live heap bytes (its header ships with clang only).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace hardening::test {

namespace {

[[maybe_unused]] ::testing::Environment* const kQtEnvironment = testsupport::AddQtEnvironment();

} // namespace

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
std::uint32_t TReplugSerial::GetLastError() {
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

TFaultBench::TFaultBench(const std::string& portText, const sim::TFaults& faults)
    : FOnUsb(portText.find("USB") != std::string::npos) {
    // The cutter hangs on the chosen link only: a USB cutter attached would keep the
    // serial link from carrying anything.
    FSerial.Plug(FOnUsb ? sim::TFaults{} : faults);
    FUsb.AddDevice(0, FCutter, faults);
    FUsb.SetPresent(0, FOnUsb);
    FForm = std::make_unique<app::TMainForm>(app::TPlatform{FSerial, FUsb, FSources, FPrompts});
    FForm->Timer1.SetEnabled(false);
    FForm->ComboBox1->setEditText(QString::fromStdString(portText));
}

TFaultBench::~TFaultBench() = default;

sim::TInProcessLine& TFaultBench::Line() {
    return FOnUsb ? FUsb.Line(0) : FSerial.Current().Line();
}

void TFaultBench::Replug(const sim::TFaults& faults) {
    if (FOnUsb) {
        FUsb.AddDevice(0, FCutter, faults);
    } else {
        FSerial.Plug(faults);
    }
}

void TFaultBench::Unplug() {
    if (FOnUsb) {
        FUsb.SetPresent(0, false);
    } else {
        FSerial.Current().Line().HangUp();
    }
}

void TFaultBench::Tick(int count) {
    for (int i = 0; i < count; ++i) {
        FForm->Timer1Timer();
    }
}

void TFaultBench::Deliver(std::size_t count) {
    const std::size_t expected =
        FForm->ExchangeState().FReplyText.size() + Line().DeliverNext(count);
    if (!FOnUsb && FForm->Comm1.Enabled()) {
        testsupport::AwaitReplyText(*FForm, expected);
    }
}

void TFaultBench::DeliverAll() {
    Deliver(Line().Pending());
}

int TFaultBench::TickUntilIdle(int limit) {
    const auto busy = [this] {
        return FForm->ExchangeState().FPollSizeRequest != 0 ||
               FForm->ExchangeState().FLoopDetect != 0 ||
               FForm->ExchangeState().FFirmwareRequest != 0 ||
               FForm->ExchangeState().FScaleReadRequest != 0;
    };
    int ticks = 0;
    while (busy() && ticks < limit) {
        Tick();
        ++ticks;
    }
    return ticks;
}

bool TFaultBench::LinkOpen() {
    return FOnUsb ? FUsb.OpenHandleCount() > 0 : FForm->Comm1.Enabled();
}

std::vector<std::string> TFaultBench::Log() const {
    return testsupport::LogLines(*FForm);
}

int TFaultBench::CountLog(const std::string& line) const {
    return testsupport::CountLines(Log(), line);
}

int TFaultBench::CountLogStartingWith(const std::string& prefix) const {
    return testsupport::CountLinesStartingWith(Log(), prefix);
}

std::vector<std::string> TFaultBench::PanelTexts() const {
    return testsupport::PanelTexts(*FForm);
}

std::size_t OpenDescriptorCount() {
    const auto entries = std::filesystem::directory_iterator("/proc/self/fd");
    // The iterator's own descriptor is among them.
    return static_cast<std::size_t>(std::distance(entries, std::filesystem::directory_iterator()));
}

std::size_t ResidentKib() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            std::size_t kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}

std::size_t LiveHeapBytes() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

std::chrono::nanoseconds ProcessCpuTime() {
    timespec used{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return std::chrono::seconds(used.tv_sec) + std::chrono::nanoseconds(used.tv_nsec);
}

std::string SourceDir() {
    return TESSARO_SOURCE_DIR;
}

} // namespace hardening::test
