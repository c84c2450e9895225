// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wizard's first step: the method (calibration is the only one offered) and the size
// of the test rectangle the cutter is to cut.

#include "dialogs/wizard_dialog.h"
#include "session/cutter_session.h"

#include <optional>
#include <string>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace dialogs {

// The first line of the box that says the test cut went nowhere; the cause follows.
inline constexpr const char* kTestCutNotSentText = "The test rectangle was not sent to the cutter.";

class TScaleForm : public TWizardDialog {
    Q_OBJECT

public:
    explicit TScaleForm(TWizardFlow& flow);

    QLabel* Label8 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QRadioButton* RaCalibration = nullptr;
    QLabel* Label5 = nullptr;
    QRadioButton* RaLoadData = nullptr;
    QLabel* Label6 = nullptr;
    QRadioButton* RaMediaType = nullptr;
    QLabel* Label7 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* EdTestDraw_X = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* EdTestDraw_Y = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* BnOk = nullptr;
    QPushButton* BnCancel = nullptr;

    void FormShow() override;
    void BnOkClick();
    void BnCancelClick();

private:
    void BuildMethodFrame();
    void BuildSizeFrame();
    std::optional<std::string> WhyNotSent(session::TSendOutcome testCut) const;
};

} // namespace dialogs
