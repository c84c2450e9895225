// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/modify_form2.h"

#include "dialogs/dialog_look.h"
#include "dialogs/save_data_form.h"
#include "dialogs/scale_form2.h"
#include "dialogs/wizard_flow.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace dialogs {

namespace {

constexpr QSize kClientSize{378, 211};
constexpr QRect kLabel1Bounds{10, 12, 335, 71};

constexpr const char* kInstructionText = "Please measure the length and width again. \n"
                                         "If the length and width are exactly, \n"
                                         "please click Yes. Otherwise, click No.";

} // namespace

TModifyForm2::TModifyForm2(TWizardFlow& flow)
    : TWizardDialog(flow, "ModifyForm2", "check the corrected cut", kClientSize) {
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    BnYes = MakeButton(this, "BnYes", "Yes", {95, 160});
    BnNo = MakeButton(this, "BnNo", "No", {208, 160});
    BnYes->setDefault(true);
    OnClick(BnYes, FFlow, [this] { BnYesClick(); });
    OnClick(BnNo, FFlow, [this] { BnNoClick(); });
}

void TModifyForm2::FormShow() {
    SetFixedBoundsText(*Label1, kLabel1Bounds, kInstructionText);
}

void TModifyForm2::BnYesClick() {
    done(QDialog::Accepted);
    FFlow.SaveDataForm()->exec();
}

void TModifyForm2::BnNoClick() {
    done(QDialog::Rejected);
    FFlow.ScaleForm2()->exec();
}

void TModifyForm2::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        RunGuarded(FFlow, [this] { BnNoClick(); });
        return;
    }
    TWizardDialog::keyPressEvent(event);
}

} // namespace dialogs
