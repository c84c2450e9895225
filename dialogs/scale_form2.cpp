// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/scale_form2.h"

#include "dialogs/dialog_look.h"
#include "dialogs/modify_form.h"
#include "dialogs/modify_form2.h"
#include "dialogs/wizard_flow.h"
#include "protocol/size_checks.h"

namespace dialogs {

namespace {

constexpr const char* kLengthField = "Length X";
constexpr const char* kWidthField = "Width Y";

constexpr const char* kInstructionText = "Cutter is cutting a rectangle on the \n"
                                         "media now. Please measure the length \n"
                                         "and width and key in the values.";

constexpr TControlRow kControls[] = {
    {ckShownText, "Label5", kInstructionText, {30, 12, 305, 71}},
    {ckLabel, "Label1", "Length X:", {60, 99, 0, 0}},
    {ckEdit, "Edit1", "50", {148, 95, 80, 26}, kLengthField},
    {ckLabel, "Label3", "mm", {236, 99, 0, 0}},
    {ckLabel, "Label2", "Width Y:", {60, 133, 0, 0}},
    {ckEdit, "Edit2", "50", {148, 129, 80, 26}, kWidthField},
    {ckLabel, "Label4", "mm", {236, 133, 0, 0}},
    {ckDefaultButton, "BnOk", "OK", {142, 172, 0, 0}},
};
constexpr TDialogSheet kSheet{"ScaleForm2", "measured size", {360, 211}, kControls};

// The refused field takes the focus with its text selected: typing replaces it.
void SelectForRetyping(QLineEdit& edit) {
    edit.setFocus(Qt::OtherFocusReason);
    edit.selectAll();
}

} // namespace

TScaleForm2::TScaleForm2(TWizardFlow& flow) : TWizardDialog(flow, kSheet) {
    OnClick(BnOk, FFlow, [this] { BnOkClick(); });
}

// Nothing is sent and the dialog stays open, with the text as typed, until both sizes are
// numbers above zero and within the tolerance of the test size. The measurement is compared
// with the test size exactly, in plotter units that both got from one reading of the typed
// text: a size measured as typed equals itself, and 50.0 equals 50.
void TScaleForm2::BnOkClick() {
    const double measuredX = MeasuredSize(*Edit1, kLengthField);
    const double measuredY = MeasuredSize(*Edit2, kWidthField);
    const session::TPlotterSize test = FFlow.Session().TestDrawSize();
    if (RefuseImplausible(*Edit1, kLengthField, measuredX, test.X) ||
        RefuseImplausible(*Edit2, kWidthField, measuredY, test.Y)) {
        return;
    }
    if (measuredX == test.X && measuredY == test.Y) {
        FFlow.ModifyForm()->show();
    } else {
        FMeasurementSent = false;
        const session::TOutcome cut = FFlow.Session().SendCorrectedTestDraw(
            {Edit1->text().toStdString(), Edit2->text().toStdString()});
        RecordMeasurementSent(cut, measuredX, measuredY);
        FFlow.ModifyForm2()->show();
    }
    done(QDialog::Accepted);
}

double TScaleForm2::MeasuredSize(QLineEdit& edit, const char* fieldName) {
    try {
        return protocol::SizeFromText(edit.text().toStdString(), fieldName);
    } catch (...) {
        SelectForRetyping(edit);
        throw;
    }
}

bool TScaleForm2::RefuseImplausible(QLineEdit& edit, const char* fieldName, double measuredUnits,
                                    double testUnits) {
    const std::optional<std::string> refusal =
        protocol::MeasurementRefusal(fieldName, measuredUnits, testUnits);
    if (refusal) {
        SelectForRetyping(edit);
        FFlow.Prompts().MessageBox(*refusal);
    }
    return refusal.has_value();
}

// The session takes the measurement only when it builds the command; a corrected cut that
// did not leave (no link, or the link did not take it) counts for nothing.
void TScaleForm2::RecordMeasurementSent(const session::TOutcome& cut, double measuredX,
                                        double measuredY) {
    FSentTest = FFlow.Session().TestDrawSize();
    FSentMeasured = FFlow.Session().MeasuredSize();
    FMeasurementSent = cut.Done() && FSentMeasured == session::TPlotterSize{measuredX, measuredY};
}

bool TScaleForm2::MeasurementInEffect() const {
    return FMeasurementSent && FFlow.Session().TestDrawSize() == FSentTest &&
           FFlow.Session().MeasuredSize() == FSentMeasured;
}

} // namespace dialogs
