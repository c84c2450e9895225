// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/modify_form.h"

#include "dialogs/dialog_look.h"

#include <QLabel>
#include <QPushButton>

namespace dialogs {

namespace {

constexpr QSize kClientSize{174, 116};

} // namespace

TModifyForm::TModifyForm(TWizardFlow& flow)
    : TWizardDialog(flow, "ModifyForm", "scale unchanged", kClientSize) {
    Label1 = MakeLabel(this, "Label1", "Scale not change !!", {11, 30});
    BnOk = MakeButton(this, "BnOk", "OK", {49, 72});
    BnOk->setDefault(true);
    OnClick(BnOk, FFlow, [this] { BnOkClick(); });
}

void TModifyForm::BnOkClick() {
    done(QDialog::Accepted);
}

} // namespace dialogs
