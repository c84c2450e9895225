// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/window_bench.h"

#include "tests/support/qt_environment.h"

#include <QComboBox>

namespace testsupport {

namespace {

// Every program built on the bench gets the one application object with it.
[[maybe_unused]] ::testing::Environment* const kQtEnvironment = AddQtEnvironment();

} // namespace

TWindowBench::~TWindowBench() {
    TWindowBench::Close();
}

// The window owns the session, and goes before the links it uses.
void TWindowBench::Close() {
    TSessionBench::Close();
    FForm.reset();
}

app::TMainForm& TWindowBench::Build(const TBench& bench) {
    TSessionBench::Build(bench);
    return *FForm;
}

app::TMainForm& TWindowBench::BuildOverFakes() {
    TSessionBench::BuildOverFakes();
    return *FForm;
}

app::TMainForm& TWindowBench::BuildOver(devlink::TSerialApi& serial, devlink::TUsbApi& usb,
                                        devlink::TPortSources& sources) {
    TSessionBench::BuildOver(serial, usb, sources);
    return *FForm;
}

session::TCutterSession& TWindowBench::Open(devlink::TSerialApi& serial, devlink::TUsbApi& usb,
                                            devlink::TPortSources& sources) {
    FForm = std::make_unique<app::TMainForm>(app::TPlatform{serial, usb, sources, Prompts});
    return FForm->Session();
}

void TWindowBench::NamePort(const std::string& text) {
    FForm->ComboBox1->setEditText(QString::fromStdString(text));
}

void TWindowBench::CheckPort(const std::string& /*text*/) {
    FForm->ComboBox1Change();
}

QStringList TWindowBench::PortItems() const {
    QStringList items;
    for (int i = 0; i < FForm->ComboBox1->count(); ++i) {
        items << FForm->ComboBox1->itemText(i);
    }
    return items;
}

std::vector<std::string> TWindowBench::Log() const {
    return LogLines(*FForm);
}

std::vector<std::string> TWindowBench::PanelTexts() const {
    return testsupport::PanelTexts(*FForm);
}

} // namespace testsupport
