// SPDX-License-Identifier: GPL-3.0-or-later
// Prints where the program's controls stand, so that the end-to-end drivers reach them
// where the program puts them: the main window and every dialog are built as tessaro
// builds them (over the in-process cutter), and each control is printed on a line
//   WINDOW-TITLE <tab> CLIENT-SIZE <tab> CONTROL <tab> X Y WIDTH HEIGHT
// in its window's client coordinates. A control is named by its object name, else by its
// text without the mnemonic mark, else by its class; a name met again in the same window
// gets "#2", "#3"... in the order the controls were made.

#include "app/main_form.h"
#include "sim/in_process_serial.h"
#include "sim/in_process_usb.h"
#include "tests/support/platform_fakes.h"
#include "tests/support/recording_prompts.h"
#include "tests/support/wizard_over_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>

#include <cstdio>
#include <map>

namespace {

QString ControlName(const QWidget& control) {
    if (!control.objectName().isEmpty()) {
        return control.objectName();
    }
    QString text;
    if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) {
        text = button->text();
    } else if (const auto* label = qobject_cast<const QLabel*>(&control)) {
        text = label->text();
    }
    text.remove(QLatin1Char('&'));
    return text.isEmpty() ? QString::fromLatin1(control.metaObject()->className()) : text;
}

void PrintControls(const QWidget& window) {
    std::map<QString, int> seen;
    for (const QWidget* control : window.findChildren<QWidget*>()) {
        if (control->window() != &window) {
            continue;
        }
        QString name = ControlName(*control);
        const int count = ++seen[name];
        if (count > 1) {
            name += QStringLiteral("#%1").arg(count);
        }
        const QPoint at = control->mapTo(&window, QPoint(0, 0));
        std::printf("%s\t%dx%d\t%s\t%d %d %d %d\n", window.windowTitle().toUtf8().constData(),
                    window.width(), window.height(), name.toUtf8().constData(), at.x(), at.y(),
                    control->width(), control->height());
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    sim::TVirtualCutter cutter;
    sim::TInProcessSerial serial(cutter, testsupport::kSerialPort);
    sim::TInProcessUsb usb;
    testsupport::TFakePortSources sources;
    sources.HoldOnlyComOne();
    testsupport::TRecordingPrompts prompts;
    app::TMainForm mainForm(app::TPlatform{serial, usb, sources, prompts});
    // Each dialog is made as Tessaro makes it when first shown.
    testsupport::TWizardOverWindow wizardFlow(mainForm);
    wizardFlow.AboutForm();
    wizardFlow.ScaleForm();
    wizardFlow.ScaleForm2();
    wizardFlow.ModifyForm();
    wizardFlow.ModifyForm2();
    wizardFlow.SaveDataForm();
    wizardFlow.PasswordForm();
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (window == &mainForm || window->parentWidget() == &mainForm) {
            PrintControls(*window);
        }
    }
    return 0;
}
