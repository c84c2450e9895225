#pragma once

// The common ground of the wizard's six dialogs: caption "Tessaro", a fixed border with
// only the close box, always on top, fixed-pitch texts, and a show handler that runs
// inside the main window's event guard.

#include <QDialog>

class QKeyEvent;
class QShowEvent;

namespace app {
class TMainForm;
}

namespace dialogs {

class TWizardDialog : public QDialog {
    Q_OBJECT

public:
    TWizardDialog(app::TMainForm& mainForm, const char* name, QSize clientSize);

    // Runs each time the dialog is shown by the program.
    virtual void FormShow() {}

protected:
    void showEvent(QShowEvent* event) override;
    // Esc does nothing unless a dialog gives it a button of its own.
    void keyPressEvent(QKeyEvent* event) override;

    app::TMainForm& FMainForm;
};

} // namespace dialogs
