// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The About dialog and the six wizard dialogs, one of each for the whole run. A dialog is
// made the first time it is asked for, so the main window comes up without any of them;
// once made it is kept, hidden when closed, so its fields keep what the operator typed.
// The dialogs reach each other and the session through it; main() gives it what they
// need of the program around them and hands the main window the two dialogs the panel
// opens. It must go before the window they stand over does.

#include "toolkit/prompts.h"

#include <QFont>
#include <QPoint>
#include <QPointer>

#include <functional>
#include <string>

class QWidget;

namespace session {
class TCutterSession;
}

namespace dialogs {

class TAboutForm;
class TScaleForm;
class TScaleForm2;
class TModifyForm;
class TModifyForm2;
class TSaveDataForm;
class TPasswordForm;

// What the dialogs need of the program around them, chosen in main().
struct TWizardHost {
    QWidget& Window; // the dialogs' parent: they stand over it
    session::TCutterSession& Session;
    toolkit::TPrompts& Prompts;
    // A line for the log the operator reads.
    std::function<void(const std::string& line)> Log;
    // The main window's fixed-pitch face, and where a window designed at a position goes.
    std::function<QFont(int pixelSize)> FixedPitchFont;
    std::function<void(QWidget& window, QPoint design)> MoveToDesignPosition;
};

class TWizardFlow {
public:
    explicit TWizardFlow(TWizardHost host);
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

    // What the dialogs are given.
    QWidget& Window() const { return FHost.Window; }
    session::TCutterSession& Session() const { return FHost.Session; }
    toolkit::TPrompts& Prompts() const { return FHost.Prompts; }
    void Log(const std::string& line) const { FHost.Log(line); }
    QFont FixedPitchFont(int pixelSize) const { return FHost.FixedPitchFont(pixelSize); }
    void MoveToDesignPosition(QWidget& window, QPoint design) const {
        FHost.MoveToDesignPosition(window, design);
    }

private:
    template <typename TForm>
    TForm* Made(QPointer<TForm>& form);

    TWizardHost FHost;
    // The window is the dialogs' parent and may destroy them first at its teardown.
    QPointer<TAboutForm> FAboutForm;
    QPointer<TScaleForm> FScaleForm;
    QPointer<TScaleForm2> FScaleForm2;
    QPointer<TModifyForm> FModifyForm;
    QPointer<TModifyForm2> FModifyForm2;
    QPointer<TSaveDataForm> FSaveDataForm;
    QPointer<TPasswordForm> FPasswordForm;
};

} // namespace dialogs
