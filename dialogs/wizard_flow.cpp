// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/wizard_flow.h"

#include "dialogs/about_form.h"
#include "dialogs/modify_form.h"
#include "dialogs/modify_form2.h"
#include "dialogs/password_form.h"
#include "dialogs/save_data_form.h"
#include "dialogs/scale_form.h"
#include "dialogs/scale_form2.h"

#include <utility>

namespace dialogs {

TWizardFlow::TWizardFlow(TWizardHost host) : FHost(std::move(host)) {}

// The dialogs hold on to the flow, so they go with it.
TWizardFlow::~TWizardFlow() {
    delete FPasswordForm.data();
    delete FSaveDataForm.data();
    delete FModifyForm2.data();
    delete FModifyForm.data();
    delete FScaleForm2.data();
    delete FScaleForm.data();
    delete FAboutForm.data();
}

template <typename TForm>
TForm* TWizardFlow::Made(QPointer<TForm>& form) {
    if (form.isNull()) {
        form = new TForm(*this);
    }
    return form.data();
}

TAboutForm* TWizardFlow::AboutForm() {
    return Made(FAboutForm);
}

TScaleForm* TWizardFlow::ScaleForm() {
    return Made(FScaleForm);
}

TScaleForm2* TWizardFlow::ScaleForm2() {
    return Made(FScaleForm2);
}

TModifyForm* TWizardFlow::ModifyForm() {
    return Made(FModifyForm);
}

TModifyForm2* TWizardFlow::ModifyForm2() {
    return Made(FModifyForm2);
}

TSaveDataForm* TWizardFlow::SaveDataForm() {
    return Made(FSaveDataForm);
}

TPasswordForm* TWizardFlow::PasswordForm() {
    return Made(FPasswordForm);
}

} // namespace dialogs
