// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/save_data_form.h"

#include "dialogs/dialog_look.h"
#include "dialogs/password_form.h"
#include "dialogs/wizard_flow.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace dialogs {

namespace {

constexpr QSize kClientSize{221, 134};

} // namespace

TSaveDataForm::TSaveDataForm(TWizardFlow& flow)
    : TWizardDialog(flow, "SaveDataForm", "save to the cutter", kClientSize) {
    Label1 = MakeLabel(this, "Label1", "Save data to flash rom ?", {14, 16});
    BnSave = MakeButton(this, "BnSave", "Save", {73, 52});
    BnCancel = MakeButton(this, "BnCancel", "Cancel", {73, 90});
    BnSave->setDefault(true);
    OnClick(BnSave, FFlow, [this] { BnSaveClick(); });
    OnClick(BnCancel, FFlow, [this] { BnCancelClick(); });
}

void TSaveDataForm::BnSaveClick() {
    FFlow.PasswordForm()->AwaitScaleReading();
    done(QDialog::Accepted);
    FFlow.PasswordForm()->show();
}

void TSaveDataForm::BnCancelClick() {
    done(QDialog::Rejected);
}

void TSaveDataForm::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        RunGuarded(FFlow, [this] { BnCancelClick(); });
        return;
    }
    TWizardDialog::keyPressEvent(event);
}

} // namespace dialogs
