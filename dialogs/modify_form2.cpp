// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/modify_form2.h"

#include "dialogs/dialog_look.h"
#include "dialogs/save_data_form.h"
#include "dialogs/scale_form2.h"
#include "dialogs/wizard_flow.h"

namespace dialogs {

namespace {

constexpr const char* kInstructionText = "Please measure the length and width again. \n"
                                         "If the length and width are exactly, \n"
                                         "please click Yes. Otherwise, click No.";

constexpr TControlRow kControls[] = {
    {ckShownText, "Label1", kInstructionText, {10, 12, 335, 71}},
    {ckDefaultButton, "BnYes", "Yes", {95, 160, 0, 0}},
    {ckEscapeButton, "BnNo", "No", {208, 160, 0, 0}},
};
constexpr TDialogSheet kSheet{"ModifyForm2", "check the corrected cut", {378, 211}, kControls};

} // namespace

TModifyForm2::TModifyForm2(TWizardFlow& flow) : TWizardDialog(flow, kSheet) {
    OnClick(BnYes, FFlow, [this] { BnYesClick(); });
    OnClick(BnNo, FFlow, [this] { BnNoClick(); });
}

void TModifyForm2::BnYesClick() {
    done(QDialog::Accepted);
    FFlow.SaveDataForm()->exec();
}

void TModifyForm2::BnNoClick() {
    done(QDialog::Rejected);
    FFlow.ScaleForm2()->exec();
}

} // namespace dialogs
