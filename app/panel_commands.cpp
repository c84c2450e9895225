// SPDX-License-Identifier: GPL-3.0-or-later
// The panel's buttons: each hands its operation to the session; while the settings
// monitor runs, only DisDetect is offered.

#include "app/main_form.h"

#include <QPushButton>

namespace app {

namespace {

// Disabling the focused button passes the focus along the chain into the port list's
// text, whose caret would then blink (a repaint twice a second) for as long as the window
// stays active. The button the operator needs next takes it instead; focus the operator
// put in the port list stays there.
void HandFocusOn(const QWidget* focusedBefore, QPushButton* next) {
    if (focusedBefore != nullptr && !focusedBefore->isEnabled()) {
        next->setFocus();
    }
}

} // namespace

void TMainForm::BnPollSizeClick() {
    FSession.PollSize();
}

void TMainForm::BnLoopDetectClick() {
    TakeButtonsForMonitor();
    FSession.StartMonitor();
}

void TMainForm::BnDisDetectClick() {
    FSession.StopMonitor();
    GiveButtonsBack();
}

void TMainForm::TakeButtonsForMonitor() {
    const QWidget* focused = focusWidget();
    BnPollSize->setEnabled(false);
    BnLoopDetect->setEnabled(false);
    BnScaling->setEnabled(false);
    BnDisDetect->setEnabled(true);
    BnAbout->setEnabled(false);
    HandFocusOn(focused, BnDisDetect);
}

// Also when the monitor gives up on a silent cutter, exactly as after a click.
void TMainForm::GiveButtonsBack() {
    const QWidget* focused = focusWidget();
    BnPollSize->setEnabled(true);
    BnLoopDetect->setEnabled(true);
    BnScaling->setEnabled(true);
    BnDisDetect->setEnabled(false);
    BnAbout->setEnabled(true);
    HandFocusOn(focused, BnLoopDetect);
}

} // namespace app
