// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The common ground of the wizard's six dialogs: caption "Tessaro", a fixed border with
// only the close box, always on top, fixed-pitch texts, the controls their sheet states,
// and a show handler that runs inside the event guard. Screen readers read each by its
// step, as the caption is the same for all.

#include "dialogs/control_sheet.h"

#include <QDialog>

#include <stdexcept>
#include <string>

class QKeyEvent;
class QPushButton;
class QShowEvent;

namespace dialogs {

class TWizardFlow;

class TWizardDialog : public QDialog {
    Q_OBJECT

public:
    TWizardDialog(TWizardFlow& flow, const TDialogSheet& sheet);

    // Runs each time the dialog is shown by the program, once its texts are set.
    virtual void FormShow() {}

protected:
    void showEvent(QShowEvent* event) override;
    // Esc presses the sheet's escape button, or does nothing.
    void keyPressEvent(QKeyEvent* event) override;

    // The control of the sheet named `name`.
    template <typename TControl>
    TControl* Control(const char* name) const {
        auto* const control = findChild<TControl*>(QString::fromLatin1(name));
        if (control == nullptr) {
            throw std::logic_error(std::string("The dialog has no control ") + name);
        }
        return control;
    }

    // The session, the prompts and the other dialogs of the wizard, reached through the flow.
    TWizardFlow& FFlow;

private:
    const TDialogSheet& FSheet;
    QPushButton* FEscapeButton = nullptr;
};

} // namespace dialogs
