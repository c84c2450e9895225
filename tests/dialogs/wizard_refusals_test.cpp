// SPDX-License-Identifier: GPL-3.0-or-later
// Sizes that never reach the cutter: not a number, not above zero, or a measurement too
// far from the test size to be anything but a typing error.

#include "dialogs_test_support.h"

#include "dialogs/modify_form.h"
#include "dialogs/modify_form2.h"
#include "dialogs/scale_form.h"
#include "dialogs/scale_form2.h"
#include "protocol/size_checks.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace dialogs::test {
namespace {

TEST(SizeChecks, MeasurementIsRefusedOnlyBeyondTenPercentOfTheTestSize) {
    for (const auto& [units, refused] :
         {std::pair{1800.0, false}, {2200.0, false}, {1799.6, true}, {2200.4, true}}) {
        SCOPED_TRACE(units);
        EXPECT_EQ(protocol::MeasurementRefusal("Width Y", units, 2000).has_value(), refused);
    }
}

using WizardRefusals = TDialogsTest;

TEST_F(WizardRefusals, TestSizeThatIsNoPositiveNumberKeepsTheFirstDialogOpen) {
    for (const char* text : {"0", "-5", "5O", ""}) {
        SCOPED_TRACE(text);
        Prompts.Shown.clear();
        const bool leftOpen = InsideModal(
            Flow().ScaleForm(), [this] { Click(FMainForm->BnScaling); },
            [this, text] {
                TypeInto(Flow().ScaleForm()->EdTestDraw_Y, text);
                Click(Flow().ScaleForm()->BnOk);
            });
        EXPECT_TRUE(leftOpen);
        ASSERT_EQ(Prompts.Shown.size(), 1U);
        EXPECT_EQ(Prompts.Shown[0].Kind, TRecordingPrompts::pkException);
        EXPECT_EQ(Flow().ScaleForm()->EdTestDraw_Y->text().toStdString(), text);
        EXPECT_FALSE(Flow().ScaleForm2()->isVisible());
        EXPECT_EQ(SerialWritten(), "");
    }
}

TEST_F(WizardRefusals, ImplausibleMeasurementKeepsTheMeasurementDialogOpenAndSendsNothing) {
    struct TCase {
        QLineEdit* TScaleForm2::*Field;
        const char* Text;
        TPrompt Shown;
    };
    const TCase cases[] = {
        {&TScaleForm2::Edit1,
         "0",
         {TRecordingPrompts::pkException, "Length X: the size must be a number above zero ('0')"}},
        {&TScaleForm2::Edit2,
         "-49.8",
         {TRecordingPrompts::pkException,
          "Width Y: the size must be a number above zero ('-49.8')"}},
        {&TScaleForm2::Edit1,
         "5O.5",
         {TRecordingPrompts::pkException, "'5O.5' is not a valid floating point value"}},
        {&TScaleForm2::Edit1,
         "56",
         {TRecordingPrompts::pkMessageBox,
          "Length X: 56 mm is more than 10 % away from the 50 mm test size. Please "
          "measure again."}},
        {&TScaleForm2::Edit2,
         "4.98",
         {TRecordingPrompts::pkMessageBox,
          "Width Y: 4.98 mm is more than 10 % away from the 50 mm test size. Please "
          "measure again."}},
    };
    OpenScalingAndConfirm();
    for (const TCase& refused : cases) {
        SCOPED_TRACE(refused.Text);
        ForgetSerialWritten();
        Prompts.Shown.clear();
        TypeInto(Flow().ScaleForm2()->Edit1, "50.5");
        TypeInto(Flow().ScaleForm2()->Edit2, "49.8");
        TypeInto(Flow().ScaleForm2()->*refused.Field, refused.Text);
        Click(Flow().ScaleForm2()->BnOk);
        EXPECT_EQ(Prompts.Shown, std::vector<TPrompt>{refused.Shown});
        EXPECT_TRUE(Flow().ScaleForm2()->isVisible());
        QLineEdit* const field = Flow().ScaleForm2()->*refused.Field;
        EXPECT_EQ(field->text().toStdString(), refused.Text);
        EXPECT_EQ(Flow().ScaleForm2()->focusWidget(), field)
            << "the refused field is ready for retyping";
        EXPECT_EQ(field->selectedText(), field->text());
        EXPECT_FALSE(Flow().ModifyForm()->isVisible() || Flow().ModifyForm2()->isVisible());
        EXPECT_EQ(SerialWritten(), "");
    }
}

// The fields take what the operator types in place of what they held.
TEST_F(WizardRefusals, WhatTheOperatorTypesReplacesTheFieldItGoesInto) {
    OpenScalingAndConfirm();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Flow().ScaleForm2()));
    QTest::keyClicks(QApplication::focusWidget(), "50.5");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), "49.8");
    EXPECT_EQ(Flow().ScaleForm2()->Edit1->text(), "50.5");
    EXPECT_EQ(Flow().ScaleForm2()->Edit2->text(), "49.8");
}

TEST_F(WizardRefusals, MeasurementWithoutAnyTestCutIsRefused) {
    FMainForm->ComboBox1->setEditText("");
    OpenScalingAndConfirm();
    Prompts.Shown.clear();
    TypeInto(Flow().ScaleForm2()->Edit1, "50.5");
    Click(Flow().ScaleForm2()->BnOk);
    ASSERT_EQ(Prompts.Shown.size(), 1U);
    EXPECT_EQ(Prompts.Shown[0].Kind, TRecordingPrompts::pkMessageBox);
    EXPECT_TRUE(Flow().ScaleForm2()->isVisible());
    EXPECT_FALSE(Flow().ModifyForm2()->isVisible());
}

} // namespace
} // namespace dialogs::test
