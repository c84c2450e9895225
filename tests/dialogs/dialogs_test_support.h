// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wizard and About dialogs on the offscreen platform, driven by clicks and keys
// against the window bench's virtual cutter on "COM1". The session's timer is stopped:
// tests tick the poll cycle themselves.

#include "app/main_form.h"
#include "dialogs/wizard_flow.h"
#include "sim/cutter_model.h"
#include "sim/reply_plan.h"
#include "tests/support/window_bench.h"
#include "tests/support/wizard_over_window.h"

#include <functional>
#include <string>

class QDialog;
class QPushButton;
class QLineEdit;

namespace dialogs::test {

using testsupport::TRecordingPrompts;
using TPrompt = TRecordingPrompts::TShown;

class TDialogsTest : public testsupport::TWindowTest {
protected:
    explicit TDialogsTest(sim::TCutterConfig config = {}, sim::TFaults faults = {});

    // Delivers the cutter's pending reply and waits until the main window has read it.
    void DeliverReply();
    // Delivers the reply and ticks until the poll cycle has decoded it.
    void AnswerQuery();

    // Runs `open`, which shows `dialog` modally, and `action` inside its modal loop; then
    // closes the dialog if `action` left it open. Returns whether it was left open.
    bool InsideModal(QDialog* dialog, const std::function<void()>& open,
                     const std::function<void()>& action);
    // Runs `open`, failing (and closing it) if it shows any modal dialog.
    void ExpectNoModal(const std::function<void()>& open);

    // Replaces the field's text as the operator types it.
    static void TypeInto(QLineEdit* edit, const std::string& text);
    static void Click(QPushButton* button);

    // Runs the wizard up to the password dialog: test cut of the current sizes, the
    // measurement, Yes and Save.
    void RunUpToPassword(const std::string& measuredX, const std::string& measuredY);
    void OpenScalingAndConfirm();

    // The dialogs, each made when the test or the window first asks for it.
    TWizardFlow& Flow() { return FFlow; }

    // The bench's window, under the name the dialogs' tests know it by.
    app::TMainForm* const FMainForm;

private:
    // A member of the fixture, it goes before the bench closes the window.
    testsupport::TWizardOverWindow FFlow;
};

} // namespace dialogs::test
