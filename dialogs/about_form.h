// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The About dialog: the program's title and version with the notice, and the firmware
// model and version the cutter reports, asked for every time the dialog is shown.

#include <QDialog>

class QGroupBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QShowEvent;

namespace dialogs {

class TWizardFlow;

inline constexpr const char* kProgramTitle = "Detecting Program";
inline constexpr const char* kProgramVersion = "2.3";

class TAboutForm : public QDialog {
    Q_OBJECT

public:
    explicit TAboutForm(TWizardFlow& flow);

    QGroupBox* GroupBox1 = nullptr;
    QPushButton* BnOk = nullptr;
    QLabel* LaCopyRight = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* LaModel = nullptr;
    QLabel* LaVersion = nullptr;

    void FormShow();
    void BnOkClick();

protected:
    void showEvent(QShowEvent* event) override;
    // Only OK and the close box close the dialog; Esc does nothing.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    // Shows the firmware identity last decoded; kept across showings.
    void ShowFirmware();

    // The session and the prompts.
    TWizardFlow& FFlow;
};

} // namespace dialogs
