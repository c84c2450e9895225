// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The common ground of the wizard's six dialogs: caption "Tessaro", a fixed border with
// only the close box, always on top, fixed-pitch texts, and a show handler that runs
// inside the event guard. Screen readers read each by its step, as the caption is the same
// for all.

#include <QDialog>

class QKeyEvent;
class QShowEvent;

namespace dialogs {

class TWizardFlow;

class TWizardDialog : public QDialog {
    Q_OBJECT

public:
    // `step` says which step of the wizard the dialog is, for screen readers.
    TWizardDialog(TWizardFlow& flow, const char* name, const char* step, QSize clientSize);

    // Runs each time the dialog is shown by the program.
    virtual void FormShow() {}

protected:
    void showEvent(QShowEvent* event) override;
    // Esc does nothing unless a dialog gives it a button of its own.
    void keyPressEvent(QKeyEvent* event) override;

    // The session, the prompts and the other dialogs of the wizard, reached through the flow.
    TWizardFlow& FFlow;
};

} // namespace dialogs
