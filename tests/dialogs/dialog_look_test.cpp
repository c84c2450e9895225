// SPDX-License-Identifier: GPL-3.0-or-later
// What the operator sees and the keys the dialogs answer: the texts set on show with their
// fixed bounds, fields that keep what was typed, Enter and Esc.

#include "dialogs_test_support.h"

#include <gmock/gmock.h>

#include "dialogs/modify_form.h"
#include "dialogs/modify_form2.h"
#include "dialogs/password_form.h"
#include "dialogs/save_data_form.h"
#include "dialogs/scale_form.h"
#include "dialogs/scale_form2.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <initializer_list>

namespace dialogs::test {
namespace {

using DialogLook = TDialogsTest;

TEST_F(DialogLook, TextsSetOnShowKeepTheirLineBreaksInFixedBounds) {
    const std::tuple<QDialog*, QLabel*, QRect, const char*> labels[] = {
        {Flow().ScaleForm(),
         Flow().ScaleForm()->Label8,
         {30, 12, 305, 71},
         "Please load a media on machine,\nand make the machine at ONLINE status.\n"
         "Please select an adjustment method."},
        {Flow().ScaleForm2(),
         Flow().ScaleForm2()->Label5,
         {30, 12, 305, 71},
         "Cutter is cutting a rectangle on the \nmedia now. Please measure the length \n"
         "and width and key in the values."},
        {Flow().ModifyForm2(),
         Flow().ModifyForm2()->Label1,
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

// The window comes up without its dialogs: each is made when the panel first opens it, or
// when the window first reads its fields, which then read as the dialog starts them.
TEST_F(DialogLook, DialogsAreMadeWhenFirstNeeded) {
    EXPECT_THAT(FMainForm->findChildren<QDialog*>(), ::testing::IsEmpty());
    QWidget* shown = nullptr;
    QTimer::singleShot(0, [&shown] {
        shown = QApplication::activeModalWidget();
        if (shown != nullptr) {
            shown->close();
        }
    });
    Click(FMainForm->BnScaling);
    EXPECT_EQ(FMainForm->findChildren<QDialog*>(), QList<QDialog*>{Flow().ScaleForm()});
    EXPECT_EQ(shown, Flow().ScaleForm());

    FMainForm->Session().SendTestDraw({"50", "50"});
    FMainForm->Session().SendCorrectedTestDraw({"50", "50"});
    const std::string cut50x50 = "VS30;SP1;PR;PU0,0;PD0,0,2000,0,0,2000,-2000,0,0,-2000;PU;";
    EXPECT_EQ(SerialWritten(), cut50x50 + cut50x50);
}

TEST_F(DialogLook, FieldsStartAtFiftyAndKeepWhatWasTypedAcrossShowings) {
    for (QLineEdit* field : {Flow().ScaleForm()->EdTestDraw_X, Flow().ScaleForm()->EdTestDraw_Y,
                             Flow().ScaleForm2()->Edit1, Flow().ScaleForm2()->Edit2}) {
        EXPECT_EQ(field->text(), "50");
    }
    OpenScalingAndConfirm();
    TypeInto(Flow().ScaleForm2()->Edit1, "50.5");
    TypeInto(Flow().ScaleForm2()->Edit2, "49.8");
    Flow().ScaleForm2()->reject();
    Flow().ScaleForm()->EdTestDraw_X->setText("60");
    InsideModal(
        Flow().ScaleForm(), [this] { Click(FMainForm->BnScaling); },
        [this] { EXPECT_EQ(Flow().ScaleForm()->EdTestDraw_X->text(), "60"); });
    Flow().ScaleForm2()->show();
    EXPECT_EQ(Flow().ScaleForm2()->Edit1->text(), "50.5");
    EXPECT_EQ(Flow().ScaleForm2()->Edit2->text(), "49.8");
}

TEST_F(DialogLook, EnterPressesTheFirstButton) {
    OpenScalingAndConfirm();
    QTest::keyClick(Flow().ScaleForm2()->Edit2, Qt::Key_Return);
    EXPECT_TRUE(Flow().ModifyForm()->isVisible());
    QTest::keyClick(Flow().ModifyForm(), Qt::Key_Return);
    EXPECT_FALSE(Flow().ModifyForm()->isVisible());

    Flow().PasswordForm()->show();
    TypeInto(Flow().PasswordForm()->EdPassword, "123");
    QTest::keyClick(Flow().PasswordForm()->EdPassword, Qt::Key_Return);
    EXPECT_EQ(Prompts.Shown,
              (std::vector<TPrompt>{{TRecordingPrompts::pkShowMessage, "Invalid Password !!"}}));
}

// Esc answers No in the check and Cancel at the save question, and nothing anywhere else:
// it neither ends the wizard after the test cut nor throws away a measurement being typed.
TEST_F(DialogLook, EscapeActsOnlyInTheCheckAndAtTheSaveQuestion) {
    EXPECT_TRUE(InsideModal(
        Flow().ScaleForm(), [this] { Click(FMainForm->BnScaling); },
        [this] { QTest::keyClick(Flow().ScaleForm()->EdTestDraw_X, Qt::Key_Escape); }));
    EXPECT_EQ(SerialWritten(), "");

    OpenScalingAndConfirm();
    for (QWidget* target :
         std::initializer_list<QWidget*>{Flow().ScaleForm2(), Flow().ScaleForm2()->Edit1}) {
        QTest::keyClick(target, Qt::Key_Escape);
        EXPECT_TRUE(Flow().ScaleForm2()->isVisible());
    }
    TypeInto(Flow().ScaleForm2()->Edit1, "50.5");
    Click(Flow().ScaleForm2()->BnOk);
    EXPECT_FALSE(InsideModal(
        Flow().ScaleForm2(), [this] { QTest::keyClick(Flow().ModifyForm2(), Qt::Key_Escape); },
        [this] { QTest::keyClick(Flow().ScaleForm2()->Edit1, Qt::Key_Return); }));
    ASSERT_TRUE(Flow().ModifyForm2()->isVisible());

    ForgetSerialWritten();
    EXPECT_FALSE(InsideModal(
        Flow().SaveDataForm(), [this] { Click(Flow().ModifyForm2()->BnYes); },
        [this] { QTest::keyClick(Flow().SaveDataForm(), Qt::Key_Escape); }));
    EXPECT_FALSE(Flow().PasswordForm()->isVisible());
    EXPECT_EQ(SerialWritten(), "");

    for (QDialog* dialog :
         std::initializer_list<QDialog*>{Flow().ModifyForm(), Flow().PasswordForm()}) {
        SCOPED_TRACE(dialog->objectName().toStdString());
        dialog->show();
        QTest::keyClick(dialog, Qt::Key_Escape);
        EXPECT_TRUE(dialog->isVisible());
        dialog->hide();
    }
}

} // namespace
} // namespace dialogs::test
