// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The About dialog and the six wizard dialogs, one of each for the whole run. A dialog is
// made the first time it is asked for, so the main window comes up without any of them;
// once made it is kept, hidden when closed, so its fields keep what the operator typed.
// The dialogs reach each other through it, and it hands the main window the two dialogs
// the panel opens and the wizard's size fields. It must go before the main window does.

#include <QPointer>

namespace app {
class TMainForm;
}

namespace dialogs {

class TAboutForm;
class TScaleForm;
class TScaleForm2;
class TModifyForm;
class TModifyForm2;
class TSaveDataForm;
class TPasswordForm;

class TWizardFlow {
public:
    explicit TWizardFlow(app::TMainForm& mainForm);
    ~TWizardFlow();
    TWizardFlow(const TWizardFlow&) = delete;
    TWizardFlow& operator=(const TWizardFlow&) = delete;

    // Each is made hidden on the first call and never null.
    TAboutForm* AboutForm();
    TScaleForm* ScaleForm();
    TScaleForm2* ScaleForm2();
    TModifyForm* ModifyForm();
    TModifyForm2* ModifyForm2();
    TSaveDataForm* SaveDataForm();
    TPasswordForm* PasswordForm();

private:
    template <typename TForm>
    TForm* Made(QPointer<TForm>& form);

    app::TMainForm& FMainForm;
    // The main window is the dialogs' parent and may destroy them first at its teardown.
    QPointer<TAboutForm> FAboutForm;
    QPointer<TScaleForm> FScaleForm;
    QPointer<TScaleForm2> FScaleForm2;
    QPointer<TModifyForm> FModifyForm;
    QPointer<TModifyForm2> FModifyForm2;
    QPointer<TSaveDataForm> FSaveDataForm;
    QPointer<TPasswordForm> FPasswordForm;
};

} // namespace dialogs
