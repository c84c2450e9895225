// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wizard's question before saving: Save reads the cutter's scale values and asks for
// the password; Cancel (or Esc) ends the wizard without writing.

#include "dialogs/wizard_dialog.h"

class QKeyEvent;
class QLabel;
class QPushButton;

namespace dialogs {

class TSaveDataForm : public TWizardDialog {
    Q_OBJECT

public:
    explicit TSaveDataForm(TWizardFlow& flow);

    QLabel* Label1 = nullptr;
    QPushButton* BnSave = nullptr;
    QPushButton* BnCancel = nullptr;

    void BnSaveClick();
    void BnCancelClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace dialogs
