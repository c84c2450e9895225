// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/forms.h"

#include "app/main_form.h"
#include "dialogs/about_form.h"
#include "dialogs/modify_form.h"
#include "dialogs/modify_form2.h"
#include "dialogs/password_form.h"
#include "dialogs/save_data_form.h"
#include "dialogs/scale_form.h"
#include "dialogs/scale_form2.h"

#include <QLineEdit>

namespace dialogs {

TAboutForm* AboutForm = nullptr;
TScaleForm* ScaleForm = nullptr;
TScaleForm2* ScaleForm2 = nullptr;
TModifyForm* ModifyForm = nullptr;
TModifyForm2* ModifyForm2 = nullptr;
TSaveDataForm* SaveDataForm = nullptr;
TPasswordForm* PasswordForm = nullptr;

namespace {

std::function<std::string()> TextOf(const QLineEdit* edit) {
    return [edit] { return edit->text().toStdString(); };
}

// Creates a dialog into its global and empties the global when the main window's
// teardown destroys the dialog, so nothing reaches a dialog that is gone.
template <typename TForm>
void Create(TForm*& instance, app::TMainForm& mainForm) {
    instance = new TForm(mainForm);
    QObject::connect(instance, &QObject::destroyed, [&instance] { instance = nullptr; });
}

} // namespace

void CreateForms(app::TMainForm& mainForm) {
    Create(AboutForm, mainForm);
    Create(ScaleForm, mainForm);
    Create(ScaleForm2, mainForm);
    Create(ModifyForm, mainForm);
    Create(ModifyForm2, mainForm);
    Create(SaveDataForm, mainForm);
    Create(PasswordForm, mainForm);

    mainForm.SetDialogs(AboutForm, ScaleForm);
    mainForm.SetWizardFields({TextOf(ScaleForm->EdTestDraw_X), TextOf(ScaleForm->EdTestDraw_Y),
                              TextOf(ScaleForm2->Edit1), TextOf(ScaleForm2->Edit2)});
}

} // namespace dialogs
