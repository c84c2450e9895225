// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wizard's question before saving: Save reads the cutter's scale values and asks for
// the password; Cancel (or Esc) ends the wizard without writing.

#include "dialogs/wizard_dialog.h"

#include <QPushButton>

namespace dialogs {

class TSaveDataForm : public TWizardDialog {
    Q_OBJECT

public:
    explicit TSaveDataForm(TWizardFlow& flow);

    QPushButton* BnSave = Control<QPushButton>("BnSave");
    QPushButton* BnCancel = Control<QPushButton>("BnCancel");

    void BnSaveClick();
    void BnCancelClick();
};

} // namespace dialogs
