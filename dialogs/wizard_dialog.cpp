// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/wizard_dialog.h"

#include "dialogs/dialog_look.h"
#include "dialogs/wizard_flow.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QShowEvent>

namespace dialogs {

TWizardDialog::TWizardDialog(TWizardFlow& flow, const TDialogSheet& sheet)
    : QDialog(&flow.Window()), FFlow(flow), FSheet(sheet) {
    setObjectName(sheet.Name);
    ApplyDialogFrame(*this, kWizardCaption, sheet.ClientSize);
    setAccessibleName(QStringLiteral("Scaling: ") + QString::fromUtf8(sheet.Step));
    // Set before the controls are made, so they all take it.
    setFont(FFlow.FixedPitchFont(kFixedFontPixelSize));
    BuildControls(*this, sheet.Controls);
    for (const TControlRow& row : sheet.Controls) {
        if (row.Kind == ckEscapeButton) {
            FEscapeButton = Control<QPushButton>(row.Name);
        }
    }
}

void TWizardDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window shown again by the window system (restored) is not a new showing.
    if (!event->spontaneous()) {
        RunGuarded(FFlow, [this] {
            ShowTexts(*this, FSheet.Controls);
            FormShow();
        });
    }
}

void TWizardDialog::keyPressEvent(QKeyEvent* event) {
    if (FEscapeButton != nullptr && event->matches(QKeySequence::Cancel)) {
        FEscapeButton->click();
        return;
    }
    if (IgnoresEscape(*event)) {
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace dialogs
