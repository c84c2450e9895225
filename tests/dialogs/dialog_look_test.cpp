// SPDX-License-Identifier: GPL-3.0-or-later
// What the operator sees and the keys the dialogs answer: the texts set on show with their
// fixed bounds, fields that keep what was typed, Enter and Esc.

#include "dialogs_test_support.h"

#include "dialogs/forms.h"
#include "dialogs/modify_form.h"
#include "dialogs/modify_form2.h"
#include "dialogs/password_form.h"
#include "dialogs/save_data_form.h"
#include "dialogs/scale_form.h"
#include "dialogs/scale_form2.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <initializer_list>

namespace dialogs::test {
namespace {

using DialogLook = TDialogsTest;

TEST_F(DialogLook, TextsSetOnShowKeepTheirLineBreaksInFixedBounds) {
    const std::tuple<QDialog*, QLabel*, QRect, const char*> labels[] = {
        {ScaleForm,
         ScaleForm->Label8,
         {30, 12, 305, 71},
         "Please load a media on machine,\nand make the machine at ONLINE status.\n"
         "Please select an adjustment method."},
        {ScaleForm2,
         ScaleForm2->Label5,
         {30, 12, 305, 71},
         "Cutter is cutting a rectangle on the \nmedia now. Please measure the length \n"
         "and width and key in the values."},
        {ModifyForm2,
         ModifyForm2->Label1,
         {10, 12, 335, 71},
         "Please measure the length and width again. \nIf the length and width are exactly, \n"
         "please click Yes. Otherwise, click No."},
    };
    for (const auto& [dialog, label, bounds, text] : labels) {
        SCOPED_TRACE(dialog->objectName().toStdString());
        dialog->show();
        EXPECT_EQ(label->text().toStdString(), text);
        EXPECT_EQ(label->geometry(), bounds);
        EXPECT_FALSE(label->wordWrap());
        const QFontMetrics metrics(label->font());
        EXPECT_EQ(metrics.horizontalAdvance('i'), metrics.horizontalAdvance('W'));
        dialog->hide();
    }
}

TEST_F(DialogLook, FieldsStartAtFiftyAndKeepWhatWasTypedAcrossShowings) {
    for (QLineEdit* field :
         {ScaleForm->EdTestDraw_X, ScaleForm->EdTestDraw_Y, ScaleForm2->Edit1, ScaleForm2->Edit2}) {
        EXPECT_EQ(field->text(), "50");
    }
    OpenScalingAndConfirm();
    TypeInto(ScaleForm2->Edit1, "50.5");
    TypeInto(ScaleForm2->Edit2, "49.8");
    ScaleForm2->reject();
    ScaleForm->EdTestDraw_X->setText("60");
    InsideModal(
        ScaleForm, [this] { Click(FMainForm->BnScaling); },
        [] { EXPECT_EQ(ScaleForm->EdTestDraw_X->text(), "60"); });
    ScaleForm2->show();
    EXPECT_EQ(ScaleForm2->Edit1->text(), "50.5");
    EXPECT_EQ(ScaleForm2->Edit2->text(), "49.8");
}

TEST_F(DialogLook, EnterPressesTheFirstButton) {
    OpenScalingAndConfirm();
    QTest::keyClick(ScaleForm2->Edit2, Qt::Key_Return);
    EXPECT_TRUE(ModifyForm->isVisible());
    QTest::keyClick(ModifyForm, Qt::Key_Return);
    EXPECT_FALSE(ModifyForm->isVisible());

    PasswordForm->show();
    TypeInto(PasswordForm->EdPassword, "123");
    QTest::keyClick(PasswordForm->EdPassword, Qt::Key_Return);
    EXPECT_EQ(Prompts.Shown,
              (std::vector<TPrompt>{{TRecordingPrompts::pkShowMessage, "Invalid Password !!"}}));
}

// Esc answers No in the check and Cancel at the save question, and nothing anywhere else:
// it neither ends the wizard after the test cut nor throws away a measurement being typed.
TEST_F(DialogLook, EscapeActsOnlyInTheCheckAndAtTheSaveQuestion) {
    EXPECT_TRUE(InsideModal(
        ScaleForm, [this] { Click(FMainForm->BnScaling); },
        [] { QTest::keyClick(ScaleForm->EdTestDraw_X, Qt::Key_Escape); }));
    EXPECT_EQ(SerialWritten(), "");

    OpenScalingAndConfirm();
    for (QWidget* target : std::initializer_list<QWidget*>{ScaleForm2, ScaleForm2->Edit1}) {
        QTest::keyClick(target, Qt::Key_Escape);
        EXPECT_TRUE(ScaleForm2->isVisible());
    }
    TypeInto(ScaleForm2->Edit1, "50.5");
    Click(ScaleForm2->BnOk);
    EXPECT_FALSE(InsideModal(
        ScaleForm2, [] { QTest::keyClick(ModifyForm2, Qt::Key_Escape); },
        [] { QTest::keyClick(ScaleForm2->Edit1, Qt::Key_Return); }));
    ASSERT_TRUE(ModifyForm2->isVisible());

    ForgetSerialWritten();
    EXPECT_FALSE(InsideModal(
        SaveDataForm, [] { Click(ModifyForm2->BnYes); },
        [] { QTest::keyClick(SaveDataForm, Qt::Key_Escape); }));
    EXPECT_FALSE(PasswordForm->isVisible());
    EXPECT_EQ(SerialWritten(), "");

    for (QDialog* dialog : std::initializer_list<QDialog*>{ModifyForm, PasswordForm}) {
        SCOPED_TRACE(dialog->objectName().toStdString());
        dialog->show();
        QTest::keyClick(dialog, Qt::Key_Escape);
        EXPECT_TRUE(dialog->isVisible());
        dialog->hide();
    }
}

} // namespace
} // namespace dialogs::test
