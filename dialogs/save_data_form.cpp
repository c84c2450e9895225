// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/save_data_form.h"

#include "dialogs/dialog_look.h"
#include "dialogs/password_form.h"
#include "dialogs/wizard_flow.h"

namespace dialogs {

namespace {

constexpr TControlRow kControls[] = {
    {ckLabel, "Label1", "Save data to flash rom ?", {14, 16, 0, 0}},
    {ckDefaultButton, "BnSave", "Save", {73, 52, 0, 0}},
    {ckEscapeButton, "BnCancel", "Cancel", {73, 90, 0, 0}},
};
constexpr TDialogSheet kSheet{"SaveDataForm", "save to the cutter", {221, 134}, kControls};

} // namespace

TSaveDataForm::TSaveDataForm(TWizardFlow& flow) : TWizardDialog(flow, kSheet) {
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

} // namespace dialogs
