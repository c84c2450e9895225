// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/scale_form.h"

#include "dialogs/dialog_look.h"
#include "dialogs/scale_form2.h"
#include "dialogs/wizard_flow.h"
#include "protocol/size_checks.h"
#include "session/cutter_session.h"

#include <QRadioButton>

namespace dialogs {

namespace {

constexpr const char* kTestSizeXField = "Test size X";
constexpr const char* kTestSizeYField = "Test size Y";

constexpr const char* kInstructionText = "Please load a media on machine,\n"
                                         "and make the machine at ONLINE status.\n"
                                         "Please select an adjustment method.";

// Calibration is the only method offered; the other two stay hidden and are never read.
// The size fields would otherwise read as their frame's caption.
constexpr TControlRow kControls[] = {
    {ckShownText, "Label8", kInstructionText, {30, 12, 305, 71}},
    {ckRowFrame, "GroupBox1", "", {30, 88, 305, 44}, "Adjustment method"},
    {ckChoice, "RaCalibration", "", {14, 11, 20, 22}, nullptr, true},
    {ckChoiceLabel, "Label5", "&Calibration", {38, 11, 0, 0}, nullptr, true},
    {ckChoice, "RaLoadData", "", {14, 11, 20, 22}, nullptr, true, true},
    {ckChoiceLabel, "Label6", "&Load data or use percentage", {38, 11, 0, 0}, nullptr, true, true},
    {ckChoice, "RaMediaType", "", {14, 11, 20, 22}, nullptr, true, true},
    {ckChoiceLabel, "Label7", "C&hange media type", {38, 11, 0, 0}, nullptr, true, true},
    {ckFrame, "GroupBox2", "Input test draw size", {30, 142, 305, 76}},
    {ckLabel, "Label1", "X:", {20, 35, 0, 0}, nullptr, true},
    {ckEdit, "EdTestDraw_X", "50", {44, 32, 70, 26}, kTestSizeXField, true},
    {ckLabel, "Label3", "mm", {120, 35, 0, 0}, nullptr, true},
    {ckLabel, "Label2", "Y:", {164, 35, 0, 0}, nullptr, true},
    {ckEdit, "EdTestDraw_Y", "50", {188, 32, 70, 26}, kTestSizeYField, true},
    {ckLabel, "Label4", "mm", {264, 35, 0, 0}, nullptr, true},
    {ckDefaultButton, "BnOk", "Ok", {95, 236, 0, 0}},
    {ckButton, "BnCancel", "Cancel", {190, 236, 0, 0}},
};
constexpr TDialogSheet kSheet{"ScaleForm", "test cut", {360, 276}, kControls};

} // namespace

TScaleForm::TScaleForm(TWizardFlow& flow) : TWizardDialog(flow, kSheet) {
    Control<QRadioButton>("RaCalibration")->setChecked(true);
    OnClick(BnOk, FFlow, [this] { BnOkClick(); });
    OnClick(Control<QPushButton>("BnCancel"), FFlow, [this] { BnCancelClick(); });
}

// The sizes are checked before the cutter is asked to cut, also when no link is chosen,
// so a size that is no number or not above zero stops here with the dialog left open.
// The measurement dialog comes next in any case, but an operator told that the cutter is
// cutting must not wait for a rectangle that was never sent: a box says so first.
void TScaleForm::BnOkClick() {
    const session::TCutSize testSize{EdTestDraw_X->text().toStdString(),
                                     EdTestDraw_Y->text().toStdString()};
    protocol::SizeFromText(testSize.X, kTestSizeXField);
    protocol::SizeFromText(testSize.Y, kTestSizeYField);
    const session::TOutcome testCut = FFlow.Session().SendTestDraw(testSize);
    done(QDialog::Accepted);
    // The session's guard has told the operator of its refusal already.
    if (!testCut.Done() && testCut.Kind != session::okUsbBlocked) {
        FFlow.Prompts().MessageBox(kTestCutNotSentText + ('\n' + testCut.Cause));
    }
    FFlow.ScaleForm2()->show();
}

void TScaleForm::BnCancelClick() {
    done(QDialog::Rejected);
}

} // namespace dialogs
