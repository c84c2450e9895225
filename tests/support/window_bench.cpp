// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/window_bench.h"

#include "tests/support/qt_environment.h"
#include "tests/support/replug_serial.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <iterator>
#include <mutex>

namespace testsupport {

namespace {

// Every program built on the bench gets the one application object with it.
[[maybe_unused]] ::testing::Environment* const kQtEnvironment = AddQtEnvironment();

} // namespace

// The cutter's serial cables, with every byte the host writes recorded.
class TCutterCable : public TReplugSerial {
public:
    using TReplugSerial::TReplugSerial;

    devlink::TIoStatus WriteFile(devlink::THandle handle, devlink::TTransferRecord& record,
                                 const char* data, std::uint32_t count,
                                 std::uint32_t& transferred) override {
        const devlink::TIoStatus status =
            TReplugSerial::WriteFile(handle, record, data, count, transferred);
        if (status != devlink::TIoStatus::ioFailed) {
            const std::lock_guard lock(FMutex);
            FWritten.append(data, count);
        }
        return status;
    }

    std::string Written() const {
        const std::lock_guard lock(FMutex);
        return FWritten;
    }

    void ForgetWritten() {
        const std::lock_guard lock(FMutex);
        FWritten.clear();
    }

private:
    mutable std::mutex FMutex;
    std::string FWritten;
};

TBench OnLink(const std::string& portText, sim::TFaults faults) {
    TBench bench;
    bench.PortText = portText;
    bench.UsbCutterPlugged = NamesUsbPort(portText);
    bench.Faults = faults;
    return bench;
}

sim::TFaults SilentCutter() {
    sim::TFaults faults;
    faults.Silent = true;
    return faults;
}

TWindowBench::TWindowBench() = default;

TWindowBench::~TWindowBench() {
    Close();
}

// The window goes before the links it uses.
void TWindowBench::Close() {
    FForm.reset();
}

app::TMainForm& TWindowBench::Build(const TBench& bench) {
    Close();
    FUsbChosen = NamesUsbPort(bench.PortText);
    FCutter = std::make_unique<sim::TVirtualCutter>(bench.Cutter);
    // A USB cutter attached keeps the serial link from carrying anything, so the cutter
    // fails on the chosen link only.
    FCable = std::make_unique<TCutterCable>(*FCutter, kSerialPort);
    FCable->Plug(FUsbChosen ? sim::TFaults{} : bench.Faults);
    FCutterUsb = std::make_unique<sim::TInProcessUsb>();
    FCutterUsb->AddDevice(0, *FCutter, bench.Faults);
    FCutterUsb->SetPresent(0, bench.UsbCutterPlugged);
    Sources.HoldOnlyComOne();
    devlink::TSerialApi& serial =
        bench.ScriptedSerial ? static_cast<devlink::TSerialApi&>(Serial) : *FCable;
    Show(serial, *FCutterUsb, Sources);
    // The test is the clock.
    FForm->Session().Timer1.SetEnabled(false);
    SetPortText(bench.PortText);
    return *FForm;
}

app::TMainForm& TWindowBench::BuildOverFakes() {
    Close();
    return Show(Serial, Usb, Sources);
}

app::TMainForm& TWindowBench::BuildOver(devlink::TSerialApi& serial, devlink::TUsbApi& usb,
                                        devlink::TPortSources& sources) {
    Close();
    Show(serial, usb, sources);
    FForm->Session().Timer1.SetEnabled(false);
    return *FForm;
}

app::TMainForm& TWindowBench::Show(devlink::TSerialApi& serial, devlink::TUsbApi& usb,
                                   devlink::TPortSources& sources) {
    FForm = std::make_unique<app::TMainForm>(app::TPlatform{serial, usb, sources, Prompts});
    return *FForm;
}

void TWindowBench::Tick(int count) {
    for (int i = 0; i < count; ++i) {
        FForm->Session().Timer1Timer();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    }
}

int TWindowBench::TickUntilIdle(int limit) {
    const auto busy = [this] {
        return FForm->Session().ExchangeState().FPollSizeRequest != 0 ||
               FForm->Session().ExchangeState().FLoopDetect != 0 ||
               FForm->Session().ExchangeState().FFirmwareRequest != 0 ||
               FForm->Session().ExchangeState().FScaleReadRequest != 0;
    };
    int ticks = 0;
    while (busy() && ticks < limit) {
        Tick();
        ++ticks;
    }
    return ticks;
}

void TWindowBench::Deliver(std::size_t count) {
    const std::size_t held = FForm->Session().ExchangeState().FReplyText.size();
    const std::size_t arrived = Line().DeliverNext(count);
    if (!FUsbChosen && FForm->Session().Comm1.Enabled()) {
        AwaitReplyText(*FForm, held + arrived);
    }
}

void TWindowBench::DeliverAll() {
    Deliver(PendingReplyBytes());
}

std::size_t TWindowBench::PendingReplyBytes() {
    return Line().Pending();
}

void TWindowBench::ArriveOnSerial(const std::string& bytes) {
    const std::size_t expected = FForm->Session().ExchangeState().FReplyText.size() + bytes.size();
    Serial.Receive(bytes);
    Serial.RaiseEvents(devlink::kEvRxChar);
    AwaitReplyText(*FForm, expected);
}

void TWindowBench::ArriveUnasked(const std::string& bytes, bool announced) {
    Serial.Receive(bytes);
    if (!announced) {
        return;
    }
    Serial.RaiseEvents(devlink::kEvRxChar);
    for (int round = 0; round < 2000 && FForm->Session().Comm1.InQueCount() > 0; ++round) {
        QCoreApplication::processEvents();
        QThread::usleep(200);
    }
}

void TWindowBench::ChoosePort(const std::string& text) {
    SetPortText(text);
    FUsbChosen = NamesUsbPort(text);
    FForm->ComboBox1Change();
}

void TWindowBench::SetPortText(const std::string& text) {
    FForm->ComboBox1->setEditText(QString::fromStdString(text));
}

QStringList TWindowBench::PortItems() const {
    QStringList items;
    for (int i = 0; i < FForm->ComboBox1->count(); ++i) {
        items << FForm->ComboBox1->itemText(i);
    }
    return items;
}

void TWindowBench::Replug(const sim::TFaults& faults) {
    if (FUsbChosen) {
        FCutterUsb->AddDevice(0, *FCutter, faults);
    } else {
        FCable->Plug(faults);
    }
}

void TWindowBench::Unplug() {
    if (FUsbChosen) {
        FCutterUsb->SetPresent(0, false);
    } else {
        FCable->Current().Line().HangUp();
    }
}

void TWindowBench::SetUsbCutterPlugged(bool plugged) {
    FCutterUsb->SetPresent(0, plugged);
}

std::vector<std::string> TWindowBench::Log() const {
    return LogLines(*FForm);
}

int TWindowBench::CountLog(const std::string& line) const {
    return CountLines(Log(), line);
}

int TWindowBench::CountLogStartingWith(const std::string& prefix) const {
    return CountLinesStartingWith(Log(), prefix);
}

std::vector<std::string> TWindowBench::LogFromLast(const std::string& prefix) const {
    const std::vector<std::string> lines = Log();
    const auto last = std::find_if(lines.rbegin(), lines.rend(), [&prefix](const auto& line) {
        return line.rfind(prefix, 0) == 0;
    });
    std::vector<std::string> tail;
    if (last != lines.rend()) {
        std::copy_if(std::prev(last.base()), lines.end(), std::back_inserter(tail),
                     [](const auto& line) { return !line.empty(); });
    }
    return tail;
}

std::vector<std::string> TWindowBench::PanelTexts() const {
    return testsupport::PanelTexts(*FForm);
}

std::vector<std::string> TWindowBench::CutterCommands() {
    std::vector<std::string> commands;
    for (const std::string& entry : Line().Transcript()) {
        if (entry.rfind("< ", 0) == 0) {
            commands.push_back(entry.substr(2));
        }
    }
    return commands;
}

std::string TWindowBench::SerialWritten() const {
    return FCable->Written();
}

void TWindowBench::ForgetSerialWritten() {
    FCable->ForgetWritten();
}

bool TWindowBench::LinkOpen() {
    return FUsbChosen ? FCutterUsb->OpenHandleCount() > 0 : FForm->Session().Comm1.Enabled();
}

sim::TInProcessLine& TWindowBench::Line() {
    return FUsbChosen ? FCutterUsb->Line(0) : FCable->Current().Line();
}

} // namespace testsupport
