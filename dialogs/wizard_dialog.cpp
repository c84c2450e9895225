// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/wizard_dialog.h"

#include "app/main_form.h"
#include "app/window_look.h"
#include "dialogs/dialog_look.h"

#include <QKeyEvent>
#include <QShowEvent>

namespace dialogs {

TWizardDialog::TWizardDialog(app::TMainForm& mainForm, TWizardFlow& flow, const char* name,
                             const char* step, QSize clientSize)
    : QDialog(&mainForm), FMainForm(mainForm), FFlow(flow) {
    setObjectName(name);
    ApplyDialogFrame(*this, kWizardCaption, clientSize);
    setAccessibleName(QStringLiteral("Scaling: ") + QString::fromUtf8(step));
    // Set before the controls are made, so they all take it.
    setFont(app::FixedPitchFont(kFixedFontPixelSize));
}

void TWizardDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window shown again by the window system (restored) is not a new showing.
    if (!event->spontaneous()) {
        RunGuarded(FMainForm, [this] { FormShow(); });
    }
}

void TWizardDialog::keyPressEvent(QKeyEvent* event) {
    if (IgnoresEscape(*event)) {
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace dialogs
