// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wizard's first step: the method (calibration is the only one offered) and the size
// of the test rectangle the cutter is to cut.

#include "dialogs/wizard_dialog.h"
#include "session/cutter_session.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <string>

namespace dialogs {

// The first line of the box that says the test cut went nowhere; the cause follows.
inline constexpr const char* kTestCutNotSentText = "The test rectangle was not sent to the cutter.";

class TScaleForm : public TWizardDialog {
    Q_OBJECT

public:
    explicit TScaleForm(TWizardFlow& flow);

    QLabel* Label8 = Control<QLabel>("Label8");
    QLineEdit* EdTestDraw_X = Control<QLineEdit>("EdTestDraw_X");
    QLineEdit* EdTestDraw_Y = Control<QLineEdit>("EdTestDraw_Y");
    QPushButton* BnOk = Control<QPushButton>("BnOk");

    void BnOkClick();
    void BnCancelClick();
};

} // namespace dialogs
