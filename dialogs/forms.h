// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The single instances of the About dialog and the six wizard dialogs. They are created
// hidden once, after the main window, and live as long as it does (it owns them), so
// their fields keep what the operator typed.

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

extern TAboutForm* AboutForm;
extern TScaleForm* ScaleForm;
extern TScaleForm2* ScaleForm2;
extern TModifyForm* ModifyForm;
extern TModifyForm2* ModifyForm2;
extern TSaveDataForm* SaveDataForm;
extern TPasswordForm* PasswordForm;

// Creates the seven dialogs in order and hands the main window what it opens and reads.
void CreateForms(app::TMainForm& mainForm);

} // namespace dialogs
