// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wizard's check of the corrected cut: Yes goes on to saving, No (or Esc) back to
// the measurement.

#include "dialogs/wizard_dialog.h"

class QKeyEvent;
class QLabel;
class QPushButton;

namespace dialogs {

class TModifyForm2 : public TWizardDialog {
    Q_OBJECT

public:
    explicit TModifyForm2(TWizardFlow& flow);

    QLabel* Label1 = nullptr;
    QPushButton* BnYes = nullptr;
    QPushButton* BnNo = nullptr;

    void FormShow() override;
    void BnYesClick();
    void BnNoClick();

protected:
    // Esc answers No; the close box alone ends the wizard.
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace dialogs
