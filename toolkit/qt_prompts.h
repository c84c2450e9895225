#pragma once

#include "toolkit/prompts.h"

#include <QPointer>

class QWidget;

namespace toolkit {

// The prompts as modal Qt message boxes. A box is owned by the program's window the
// operator is working in (the modal one, else the active one, else the main window), and
// stays on top, so the window manager stacks it above every window of the program,
// the always-on-top dialogs included, and never hides it behind one.
class TQtPrompts : public TPrompts {
public:
    // The owner while no window of the program is active; none until it exists.
    void SetMainWindow(QWidget* mainWindow);

    void MessageBox(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    void ShowException(const std::string& message) override;

private:
    QWidget* Owner() const;

    QPointer<QWidget> FMainWindow;
};

} // namespace toolkit
