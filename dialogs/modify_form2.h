// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wizard's check of the corrected cut: Yes goes on to saving, No (or Esc) back to
// the measurement; the close box alone ends the wizard.

#include "dialogs/wizard_dialog.h"

#include <QLabel>
#include <QPushButton>

namespace dialogs {

class TModifyForm2 : public TWizardDialog {
    Q_OBJECT

public:
    explicit TModifyForm2(TWizardFlow& flow);

    QLabel* Label1 = Control<QLabel>("Label1");
    QPushButton* BnYes = Control<QPushButton>("BnYes");
    QPushButton* BnNo = Control<QPushButton>("BnNo");

    void BnYesClick();
    void BnNoClick();
};

} // namespace dialogs
