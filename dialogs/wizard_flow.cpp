// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/wizard_flow.h"

#include "app/main_form.h"
#include "dialogs/about_form.h"
#include "dialogs/modify_form.h"
#include "dialogs/modify_form2.h"
#include "dialogs/password_form.h"
#include "dialogs/save_data_form.h"
#include "dialogs/scale_form.h"
#include "dialogs/scale_form2.h"

#include <QLineEdit>

#include <type_traits>

namespace dialogs {

namespace {

std::string TextOf(const QLineEdit& edit) {
    return edit.text().toStdString();
}

} // namespace

TWizardFlow::TWizardFlow(app::TMainForm& mainForm) : FMainForm(mainForm) {
    FMainForm.SetDialogs({[this] { return static_cast<QDialog*>(AboutForm()); },
                          [this] { return static_cast<QDialog*>(ScaleForm()); }});
    // A field read before its dialog was ever shown reads as the dialog starts it: the
    // read makes the dialog.
    FMainForm.SetWizardFields({[this] { return TextOf(*ScaleForm()->EdTestDraw_X); },
                               [this] { return TextOf(*ScaleForm()->EdTestDraw_Y); },
                               [this] { return TextOf(*ScaleForm2()->Edit1); },
                               [this] { return TextOf(*ScaleForm2()->Edit2); }});
}

// The dialogs hold on to the flow, so they go with it.
TWizardFlow::~TWizardFlow() {
    FMainForm.SetDialogs({});
    FMainForm.SetWizardFields({});
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
        if constexpr (std::is_constructible_v<TForm, app::TMainForm&, TWizardFlow&>) {
            form = new TForm(FMainForm, *this);
        } else {
            form = new TForm(FMainForm);
        }
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
