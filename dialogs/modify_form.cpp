// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/modify_form.h"

#include "dialogs/dialog_look.h"

#include <QPushButton>

namespace dialogs {

namespace {

constexpr TControlRow kControls[] = {
    {ckLabel, "Label1", "Scale not change !!", {11, 30, 0, 0}},
    {ckDefaultButton, "BnOk", "OK", {49, 72, 0, 0}},
};
constexpr TDialogSheet kSheet{"ModifyForm", "scale unchanged", {174, 116}, kControls};

} // namespace

TModifyForm::TModifyForm(TWizardFlow& flow) : TWizardDialog(flow, kSheet) {
    OnClick(Control<QPushButton>("BnOk"), FFlow, [this] { BnOkClick(); });
}

void TModifyForm::BnOkClick() {
    done(QDialog::Accepted);
}

} // namespace dialogs
