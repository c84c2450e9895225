// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wizard's notice that the measurement equals the test size: nothing is changed.

#include "dialogs/wizard_dialog.h"

class QLabel;
class QPushButton;

namespace dialogs {

class TModifyForm : public TWizardDialog {
    Q_OBJECT

public:
    explicit TModifyForm(TWizardFlow& flow);

    QLabel* Label1 = nullptr;
    QPushButton* BnOk = nullptr;

    void BnOkClick();
};

} // namespace dialogs
