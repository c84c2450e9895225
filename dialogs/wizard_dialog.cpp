// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/wizard_dialog.h"

#include "dialogs/dialog_look.h"
#include "dialogs/wizard_flow.h"

#include <QKeyEvent>
#include <QShowEvent>

namespace dialogs {

TWizardDialog::TWizardDialog(TWizardFlow& flow, const char* name, const char* step,
                             QSize clientSize)
    : QDialog(&flow.Window()), FFlow(flow) {
    setObjectName(name);
    ApplyDialogFrame(*this, kWizardCaption, clientSize);
    setAccessibleName(QStringLiteral("Scaling: ") + QString::fromUtf8(step));
    // Set before the controls are made, so they all take it.
    setFont(FFlow.FixedPitchFont(kFixedFontPixelSize));
}

void TWizardDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window shown again by the window system (restored) is not a new showing.
    if (!event->spontaneous()) {
        RunGuarded(FFlow, [this] { FormShow(); });
    }
}

void TWizardDialog::keyPressEvent(QKeyEvent* event) {
    if (IgnoresEscape(*event)) {
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace dialogs
