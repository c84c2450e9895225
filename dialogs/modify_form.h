// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wizard's notice that the measurement equals the test size: nothing is changed.

#include "dialogs/wizard_dialog.h"

namespace dialogs {

class TModifyForm : public TWizardDialog {
    Q_OBJECT

public:
    explicit TModifyForm(TWizardFlow& flow);
    void BnOkClick();
};

} // namespace dialogs
