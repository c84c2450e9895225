// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wizard flow over a bench's main window, wired as main() wires it: the dialogs send
// through the window's session, box through its prompts and log into its log, and the
// panel's About and Scaling buttons open them. For test programs that link the dialogs.

#include "app/design_position.h"
#include "app/main_form.h"
#include "app/window_look.h"
#include "dialogs/about_form.h"
#include "dialogs/scale_form.h"
#include "dialogs/wizard_flow.h"

#include <string>

namespace testsupport {

class TWizardOverWindow : public dialogs::TWizardFlow {
public:
    explicit TWizardOverWindow(app::TMainForm& form)
        : dialogs::TWizardFlow({form, form.Session(), form.Prompts(),
                                [&form](const std::string& line) { form.AddLog(line); },
                                app::FixedPitchFont, app::MoveToDesignPosition}),
          FForm(form) {
        FForm.SetDialogs({[this] { return static_cast<QDialog*>(AboutForm()); },
                          [this] { return static_cast<QDialog*>(ScaleForm()); }});
    }
    ~TWizardOverWindow() { FForm.SetDialogs({}); }
    TWizardOverWindow(const TWizardOverWindow&) = delete;
    TWizardOverWindow& operator=(const TWizardOverWindow&) = delete;

private:
    app::TMainForm& FForm;
};

} // namespace testsupport
