// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/scale_form.h"

#include "dialogs/dialog_look.h"
#include "dialogs/scale_form2.h"
#include "dialogs/wizard_flow.h"
#include "protocol/size_checks.h"
#include "session/cutter_session.h"
#include "toolkit/screen_reader_tree.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <initializer_list>

namespace dialogs {

namespace {

constexpr QSize kClientSize{360, 276};
constexpr QRect kLabel8Bounds{30, 12, 305, 71};

constexpr const char* kTestSizeXField = "Test size X";
constexpr const char* kTestSizeYField = "Test size Y";

constexpr const char* kInstructionText = "Please load a media on machine,\n"
                                         "and make the machine at ONLINE status.\n"
                                         "Please select an adjustment method.";

// A method choice: a radio button without caption of its own and the label naming it. The
// button reads as the label's text; the label is not read again.
QRadioButton* MakeChoice(QWidget* parent, const char* name, int top) {
    auto* choice = new QRadioButton(parent);
    choice->setObjectName(name);
    choice->setGeometry(14, top, 20, 22);
    return choice;
}

QLabel* MakeChoiceLabel(QWidget* parent, const char* name, const char* text, QWidget* buddy,
                        int top) {
    QLabel* label = MakeLabel(parent, name, text, {38, top});
    label->setBuddy(buddy);
    toolkit::KeepFromScreenReaders(*label);
    return label;
}

} // namespace

TScaleForm::TScaleForm(TWizardFlow& flow)
    : TWizardDialog(flow, "ScaleForm", "test cut", kClientSize) {
    Label8 = new QLabel(this);
    Label8->setObjectName("Label8");
    BuildMethodFrame();
    BuildSizeFrame();
    BnOk = MakeButton(this, "BnOk", "Ok", {95, 236});
    BnCancel = MakeButton(this, "BnCancel", "Cancel", {190, 236});
    BnOk->setDefault(true);
    OnClick(BnOk, FFlow, [this] { BnOkClick(); });
    OnClick(BnCancel, FFlow, [this] { BnCancelClick(); });
}

// Calibration is the only method offered; the other two stay hidden and are never read.
void TScaleForm::BuildMethodFrame() {
    GroupBox1 = new toolkit::TRowFrame(this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setAccessibleName("Adjustment method");
    GroupBox1->setGeometry(30, 88, 305, 44);
    RaCalibration = MakeChoice(GroupBox1, "RaCalibration", 11);
    RaCalibration->setChecked(true);
    Label5 = MakeChoiceLabel(GroupBox1, "Label5", "&Calibration", RaCalibration, 11);
    RaLoadData = MakeChoice(GroupBox1, "RaLoadData", 11);
    Label6 = MakeChoiceLabel(GroupBox1, "Label6", "&Load data or use percentage", RaLoadData, 11);
    RaMediaType = MakeChoice(GroupBox1, "RaMediaType", 11);
    Label7 = MakeChoiceLabel(GroupBox1, "Label7", "C&hange media type", RaMediaType, 11);
    for (QWidget* hidden :
         std::initializer_list<QWidget*>{RaLoadData, Label6, RaMediaType, Label7}) {
        hidden->hide();
    }
}

void TScaleForm::BuildSizeFrame() {
    GroupBox2 = new QGroupBox("Input test draw size", this);
    GroupBox2->setObjectName("GroupBox2");
    GroupBox2->setGeometry(30, 142, 305, 76);
    Label1 = MakeLabel(GroupBox2, "Label1", "X:", {20, 35});
    EdTestDraw_X = MakeEdit(GroupBox2, "EdTestDraw_X", "50", {44, 32, 70, 26});
    Label3 = MakeLabel(GroupBox2, "Label3", "mm", {120, 35});
    Label2 = MakeLabel(GroupBox2, "Label2", "Y:", {164, 35});
    EdTestDraw_Y = MakeEdit(GroupBox2, "EdTestDraw_Y", "50", {188, 32, 70, 26});
    Label4 = MakeLabel(GroupBox2, "Label4", "mm", {264, 35});
    // Both would otherwise read as their frame's caption.
    NameByCaption(*Label1, *EdTestDraw_X, kTestSizeXField);
    NameByCaption(*Label2, *EdTestDraw_Y, kTestSizeYField);
}

void TScaleForm::FormShow() {
    SetFixedBoundsText(*Label8, kLabel8Bounds, kInstructionText);
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
    const session::TSendOutcome testCut = FFlow.Session().SendTestDraw(testSize);
    done(QDialog::Accepted);
    if (const std::optional<std::string> why = WhyNotSent(testCut)) {
        FFlow.Prompts().MessageBox(kTestCutNotSentText + ('\n' + *why));
    }
    FFlow.ScaleForm2()->show();
}

// Why the test cut went nowhere, as the session tells it; nothing when it was sent or the
// session's guard has told the operator already.
std::optional<std::string> TScaleForm::WhyNotSent(session::TSendOutcome testCut) const {
    switch (testCut) {
    case session::soLinkNotReady:
        return FFlow.Session().SilenceMessageText();
    case session::soNotSent:
        return FFlow.Session().SendFailure();
    case session::soWritten:
    case session::soRefused:
        break;
    }
    return std::nullopt;
}

void TScaleForm::BnCancelClick() {
    done(QDialog::Rejected);
}

} // namespace dialogs
