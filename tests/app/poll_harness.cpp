// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/app/poll_harness.h"

#include "tests/support/qt_environment.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <iterator>

namespace app::polltest {

namespace {

[[maybe_unused]] ::testing::Environment* const kQtEnvironment = testsupport::AddQtEnvironment();

} // namespace

TPollTest::~TPollTest() = default;

// A test may build several benches in turn; the window goes before the links it uses.
TMainForm& TPollTest::Build(const TBench& bench) {
    FForm.reset();
    FCutter = std::make_unique<sim::TVirtualCutter>(bench.Cutter);
    FCutterSerial = std::make_unique<sim::TInProcessSerial>(*FCutter, kSerialPort, bench.Faults);
    FUsb.AddDevice(0, *FCutter, bench.Faults);
    FUsb.SetPresent(0, bench.UsbCutterPlugged);
    devlink::TSerialApi& serial =
        bench.ScriptedSerial ? static_cast<devlink::TSerialApi&>(FScriptedSerial) : *FCutterSerial;
    FForm = std::make_unique<TMainForm>(TPlatform{serial, FUsb, FSources, Prompts});
    // The test is the clock.
    FForm->Timer1.SetEnabled(false);
    FForm->ComboBox1->setEditText(QString::fromStdString(bench.PortText));
    FUsbChosen = bench.PortText.find("USB") != std::string::npos;
    return *FForm;
}

void TPollTest::Tick(int count) {
    for (int i = 0; i < count; ++i) {
        FForm->Timer1Timer();
    }
}

sim::TInProcessLine& TPollTest::ChosenLine() {
    return FUsbChosen ? FUsb.Line(0) : FCutterSerial->Line();
}

void TPollTest::Deliver(std::size_t count) {
    const std::size_t arrived = ChosenLine().DeliverNext(count);
    if (!FUsbChosen && FForm->Comm1.Enabled()) {
        testsupport::AwaitReplyText(*FForm, FForm->ExchangeState().FReplyText.size() + arrived);
    }
}

void TPollTest::DeliverAll() {
    Deliver(PendingReplyBytes());
}

std::size_t TPollTest::PendingReplyBytes() {
    return ChosenLine().Pending();
}

void TPollTest::ArriveOnSerial(const std::string& bytes) {
    const std::size_t expected = FForm->ExchangeState().FReplyText.size() + bytes.size();
    FScriptedSerial.Receive(bytes);
    FScriptedSerial.RaiseEvents(devlink::kEvRxChar);
    testsupport::AwaitReplyText(*FForm, expected);
}

void TPollTest::ArriveUnasked(const std::string& bytes, bool announced) {
    FScriptedSerial.Receive(bytes);
    if (!announced) {
        return;
    }
    FScriptedSerial.RaiseEvents(devlink::kEvRxChar);
    for (int round = 0; round < 2000 && FForm->Comm1.InQueCount() > 0; ++round) {
        QCoreApplication::processEvents();
        QThread::usleep(200);
    }
}

void TPollTest::ChoosePort(const std::string& text) {
    FForm->ComboBox1->setEditText(QString::fromStdString(text));
    FUsbChosen = text.find("USB") != std::string::npos;
    FForm->ComboBox1Change();
}

std::vector<std::string> TPollTest::Log() const {
    return testsupport::LogLines(*FForm);
}

int TPollTest::CountLog(const std::string& line) const {
    return testsupport::CountLines(Log(), line);
}

int TPollTest::CountLogStartingWith(const std::string& prefix) const {
    return testsupport::CountLinesStartingWith(Log(), prefix);
}

std::vector<std::string> TPollTest::LogFromLast(const std::string& prefix) const {
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

std::vector<std::string> TPollTest::CutterCommands() {
    std::vector<std::string> commands;
    for (const std::string& entry : ChosenLine().Transcript()) {
        if (entry.rfind("< ", 0) == 0) {
            commands.push_back(entry.substr(2));
        }
    }
    return commands;
}

} // namespace app::polltest
