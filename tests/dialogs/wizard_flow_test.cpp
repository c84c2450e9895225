// SPDX-License-Identifier: GPL-3.0-or-later
// The wizard's flow from the Scaling button to the cutter's flash, against the
// in-process virtual cutter.

#include "dialogs_test_support.h"

#include <gmock/gmock.h>

#include "dialogs/modify_form.h"
#include "dialogs/modify_form2.h"
#include "dialogs/password_form.h"
#include "dialogs/save_data_form.h"
#include "dialogs/scale_form.h"
#include "dialogs/scale_form2.h"
#include "session/scale_journal.h"
#include "tests/support/main_window_probe.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>

#include <functional>
#include <optional>
#include <utility>

namespace dialogs::test {
namespace {

const std::string kTestCut50x50 = "VS30;SP1;PR;PU0,0;PD0,0,2000,0,0,2000,-2000,0,0,-2000;PU;";
const std::string kCorrectedCut1980x2008 =
    "VS30;SP1;PR;PU0,0;PD0,0,1980,0,0,2008,-1980,0,0,-2008;PU;";
const std::string kScaleQuery = "\x1b.R3:";
// The default cutter holds 1012 and 996: each axis is written from its own value.
const std::string kWrite1022And992 = "\x1b.C6;1;1022:\x1b.C6;0;992:";
const std::string kUsbCableText = "When USB cable plug-in, com port not working.";

using WizardFlow = TDialogsTest;

// Cutters that differ as real ones do: the line ending of their replies, and how long
// their flash keeps them from answering the read-back (ticks of about 16 ms; none: never).
struct TCutterKind {
    const char* Name;
    sim::TFaults Faults;
    std::optional<int> ReadBackTicks;
};

sim::TFaults CrLfEndings() {
    sim::TFaults faults;
    faults.CrLf = true;
    return faults;
}

const TCutterKind kCutterKinds[] = {
    {"CarriageReturn", {}, 0},
    {"CrLf", CrLfEndings(), 0},
    {"FlashBusyFor0_4s", {}, 25},
    {"FlashBusyFor1_5s", CrLfEndings(), 94},
    {"ReadBackNeverComes", {}, std::nullopt},
};

class WizardSave : public TDialogsTest, public ::testing::WithParamInterface<TCutterKind> {
protected:
    WizardSave() : TDialogsTest({}, GetParam().Faults) {
        FMainForm->Session().ScaleSave().UseJournal({&Journal, session::jsWindow});
    }

    QTemporaryDir StateFolder;
    const session::TScaleJournal Journal{
        StateFolder.filePath("tessaro/scale-journal.jsonl").toStdString()};
};

TEST_P(WizardSave, WorkedExampleCutsTheCorrectedSizeAndWritesTheScaleComputedFromTheReading) {
    OpenScalingAndConfirm();
    EXPECT_EQ(SerialWritten(), kTestCut50x50);
    ASSERT_TRUE(Flow().ScaleForm2()->isVisible());
    EXPECT_FALSE(Flow().ScaleForm2()->isModal());

    ForgetSerialWritten();
    TypeInto(Flow().ScaleForm2()->Edit1, "50.5");
    TypeInto(Flow().ScaleForm2()->Edit2, "49.8");
    Click(Flow().ScaleForm2()->BnOk);
    EXPECT_EQ(SerialWritten(), kCorrectedCut1980x2008);
    EXPECT_FALSE(Flow().ScaleForm2()->isVisible());
    ASSERT_TRUE(Flow().ModifyForm2()->isVisible());

    ForgetSerialWritten();
    InsideModal(
        Flow().SaveDataForm(), [this] { Click(Flow().ModifyForm2()->BnYes); },
        [this] { Click(Flow().SaveDataForm()->BnSave); });
    EXPECT_EQ(SerialWritten(), kScaleQuery);
    ASSERT_TRUE(Flow().PasswordForm()->isVisible());
    AnswerQuery();
    EXPECT_EQ(FMainForm->Session().Settings().ScaleX, 1012);
    EXPECT_EQ(FMainForm->Session().Settings().ScaleY, 996);

    // The right password reads the scale again; the write rests on two equal readings.
    ForgetSerialWritten();
    TypeInto(Flow().PasswordForm()->EdPassword, "047");
    Click(Flow().PasswordForm()->BnOk);
    EXPECT_EQ(SerialWritten(), kScaleQuery);
    EXPECT_EQ(Cutter().FlashWriteCount(), 0U);
    AnswerQuery();
    // Written, then read back: saved only once the cutter reports what was written.
    EXPECT_EQ(SerialWritten(), kScaleQuery + kWrite1022And992 + kScaleQuery);
    EXPECT_EQ(Cutter().ScaleX(), 1022);
    EXPECT_EQ(Cutter().ScaleY(), 992);
    EXPECT_TRUE(Prompts.Shown.empty());
    const std::optional<int> readBackTicks = GetParam().ReadBackTicks;
    Tick(readBackTicks.value_or(200));
    if (readBackTicks) {
        AnswerQuery();
    }
    EXPECT_FALSE(Flow().PasswordForm()->isVisible());
    const std::string outcome =
        readBackTicks
            ? std::string("Save Complete !!")
            : QString(kReadBackMissingText).arg(QStringLiteral("1022, 992")).toStdString();
    EXPECT_EQ(Prompts.Shown, (std::vector<TPrompt>{{TRecordingPrompts::pkShowMessage, outcome}}));
    // The log says where the write was recorded, and the record says how it ended.
    EXPECT_THAT(testsupport::LogLines(*FMainForm),
                ::testing::Contains("Scale journal: " + Journal.Path()));
    ASSERT_EQ(Journal.Read().Entries.size(), 1U);
    EXPECT_EQ(Journal.Read().Entries[0].Outcome(), readBackTicks ? "saved" : "read-back missing");
}

INSTANTIATE_TEST_SUITE_P(Cutters, WizardSave, ::testing::ValuesIn(kCutterKinds),
                         [](const auto& info) { return std::string(info.param.Name); });

// A reading that gives no scale to write ends the save at the password: one box says why,
// nothing is sent, and the link is closed for the next exchange.
TEST_F(WizardFlow, ReadingThatGivesNoScaleEndsTheSaveWithOneBox) {
    for (const auto& [scale, why] :
         {std::pair{0, "The cutter's scale value 0 is not above zero"},
          std::pair{2147480000, "The new scale value is out of range"}}) {
        SCOPED_TRACE(scale);
        Cutter().Feed("\x1b.C6;1;" + std::to_string(scale) + ":");
        Prompts.Shown.clear();
        RunUpToPassword("50.5", "49.8");
        AnswerQuery();
        ForgetSerialWritten();
        TypeInto(Flow().PasswordForm()->EdPassword, "047");
        Click(Flow().PasswordForm()->BnOk);
        EXPECT_FALSE(Flow().PasswordForm()->isVisible());
        EXPECT_EQ(Prompts.Shown,
                  (std::vector<TPrompt>{
                      {TRecordingPrompts::pkShowMessage,
                       QString(kScaleRefusedText).arg(QString::fromUtf8(why)).toStdString()}}));
        EXPECT_EQ(SerialWritten(), "");
        EXPECT_FALSE(LinkOpen());
    }
    EXPECT_EQ(Cutter().FlashWriteCount(), 2U); // the two values this test put in itself
}

// The second reading differs from the first (one of them is not what the flash holds):
// nothing is written and the operator is told why.
TEST_F(WizardFlow, TwoReadingsThatDifferWriteNothing) {
    RunUpToPassword("50.5", "49.8");
    AnswerQuery();
    Cutter().Feed("\x1b.C6;1;1234:");
    ForgetSerialWritten();
    TypeInto(Flow().PasswordForm()->EdPassword, "047");
    Click(Flow().PasswordForm()->BnOk);
    AnswerQuery();
    EXPECT_EQ(SerialWritten(), kScaleQuery);
    EXPECT_EQ(Cutter().ScaleX(), 1234);
    EXPECT_EQ(Cutter().FlashWriteCount(), 1U);
    EXPECT_FALSE(Flow().PasswordForm()->isVisible());
    ASSERT_EQ(Prompts.Shown.size(), 1U);
    EXPECT_THAT(Prompts.Shown[0].Text, ::testing::HasSubstr("0,1012,996"));
    EXPECT_THAT(Prompts.Shown[0].Text, ::testing::HasSubstr("0,1234,996"));
    EXPECT_THAT(Prompts.Shown[0].Text, ::testing::HasSubstr("nothing was written"));
}

class WizardOnACutterThatIgnoresWrites : public TDialogsTest {
protected:
    WizardOnACutterThatIgnoresWrites() : TDialogsTest(IgnoringCutter()) {}
    static sim::TCutterConfig IgnoringCutter() {
        sim::TCutterConfig config;
        config.IgnoresFlashWrites = true;
        return config;
    }
};

TEST_F(WizardOnACutterThatIgnoresWrites, ReadBackThatDiffersIsNotReportedAsSaved) {
    RunUpToPassword("50.5", "49.8");
    AnswerQuery();
    TypeInto(Flow().PasswordForm()->EdPassword, "047");
    Click(Flow().PasswordForm()->BnOk);
    AnswerQuery();
    AnswerQuery();
    EXPECT_EQ(Cutter().ScaleX(), 1012);
    EXPECT_FALSE(Flow().PasswordForm()->isVisible());
    ASSERT_EQ(Prompts.Shown.size(), 1U);
    EXPECT_NE(Prompts.Shown[0].Text, "Save Complete !!");
    EXPECT_THAT(Prompts.Shown[0].Text, ::testing::HasSubstr("1012, 996"));
    EXPECT_THAT(Prompts.Shown[0].Text, ::testing::HasSubstr("1022, 992"));
    EXPECT_THAT(Prompts.Shown[0].Text, ::testing::HasSubstr("may not have taken"));
}

TEST_F(WizardFlow, OnlyAMeasurementNumericallyEqualToTheTestSizeChangesNothing) {
    for (const auto& [x, y, unchanged] :
         {std::tuple{"50", "50", true}, {"50.0", "50.00", true}, {"50", "50.1", false}}) {
        SCOPED_TRACE(std::string(x) + " x " + y);
        OpenScalingAndConfirm();
        ForgetSerialWritten();
        TypeInto(Flow().ScaleForm2()->Edit1, x);
        TypeInto(Flow().ScaleForm2()->Edit2, y);
        Click(Flow().ScaleForm2()->BnOk);
        EXPECT_EQ(Flow().ModifyForm()->isVisible(), unchanged);
        EXPECT_EQ(Flow().ModifyForm2()->isVisible(), !unchanged);
        EXPECT_EQ(SerialWritten().empty(), unchanged);
        Flow().ModifyForm()->reject();
        Flow().ModifyForm2()->reject();
    }
    EXPECT_EQ(Cutter().FlashWriteCount(), 0U);
}

TEST_F(WizardFlow, NoAsksAgainModallyAndTheSecondMeasurementReplacesTheFirst) {
    OpenScalingAndConfirm();
    TypeInto(Flow().ScaleForm2()->Edit1, "51");
    TypeInto(Flow().ScaleForm2()->Edit2, "49");
    Click(Flow().ScaleForm2()->BnOk);

    ForgetSerialWritten();
    InsideModal(
        Flow().ScaleForm2(), [this] { Click(Flow().ModifyForm2()->BnNo); },
        [this] {
            EXPECT_FALSE(Flow().ModifyForm2()->isVisible());
            TypeInto(Flow().ScaleForm2()->Edit1, "50.5");
            TypeInto(Flow().ScaleForm2()->Edit2, "49.8");
            Click(Flow().ScaleForm2()->BnOk);
        });
    EXPECT_EQ(SerialWritten(), kCorrectedCut1980x2008);

    InsideModal(
        Flow().SaveDataForm(), [this] { Click(Flow().ModifyForm2()->BnYes); },
        [this] { Click(Flow().SaveDataForm()->BnSave); });
    AnswerQuery();
    TypeInto(Flow().PasswordForm()->EdPassword, "047");
    Click(Flow().PasswordForm()->BnOk);
    ForgetSerialWritten();
    AnswerQuery();
    EXPECT_EQ(SerialWritten(), kWrite1022And992 + kScaleQuery);
}

TEST_F(WizardFlow, WrongPasswordKeepsTheDialogAndTheTextThenTheRightOneWrites) {
    RunUpToPassword("50.5", "49.8");
    AnswerQuery();
    EXPECT_EQ(Flow().PasswordForm()->EdPassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(
        Flow().PasswordForm()->EdPassword->style()->styleHint(
            QStyle::SH_LineEdit_PasswordCharacter, nullptr, Flow().PasswordForm()->EdPassword),
        '*');
    TypeInto(Flow().PasswordForm()->EdPassword, "047 ");
    Click(Flow().PasswordForm()->BnOk);
    EXPECT_TRUE(Flow().PasswordForm()->isVisible());
    EXPECT_EQ(Flow().PasswordForm()->EdPassword->text(), "047 ");
    EXPECT_EQ(Cutter().FlashWriteCount(), 0U);

    TypeInto(Flow().PasswordForm()->EdPassword, "047");
    Click(Flow().PasswordForm()->BnOk);
    AnswerQuery();
    AnswerQuery();
    EXPECT_EQ(Prompts.Shown,
              (std::vector<TPrompt>{{TRecordingPrompts::pkShowMessage, "Invalid Password !!"},
                                    {TRecordingPrompts::pkShowMessage, "Save Complete !!"}}));
    EXPECT_EQ(Cutter().ScaleX(), 1022);

    Flow().PasswordForm()->show();
    EXPECT_EQ(Flow().PasswordForm()->EdPassword->text(), "");
}

TEST_F(WizardFlow, CancelAtSaveEndsTheWizardWithoutQueryOrWrite) {
    OpenScalingAndConfirm();
    TypeInto(Flow().ScaleForm2()->Edit1, "50.5");
    Click(Flow().ScaleForm2()->BnOk);
    ForgetSerialWritten();
    const bool leftOpen = InsideModal(
        Flow().SaveDataForm(), [this] { Click(Flow().ModifyForm2()->BnYes); },
        [this] { Click(Flow().SaveDataForm()->BnCancel); });
    EXPECT_FALSE(leftOpen);
    EXPECT_EQ(SerialWritten(), "");
    EXPECT_FALSE(Flow().PasswordForm()->isVisible());
    EXPECT_EQ(testsupport::TSessionTestView(FMainForm->Session()).Asked(protocol::ccScaleQuery), 0);
}

TEST_F(WizardFlow, RightPasswordBeforeTheScaleReplyWaitsAndWritesOnceItIsIn) {
    RunUpToPassword("50.5", "49.8");
    TypeInto(Flow().PasswordForm()->EdPassword, "047");
    ForgetSerialWritten();
    Click(Flow().PasswordForm()->BnOk);
    EXPECT_EQ(Prompts.Shown,
              (std::vector<TPrompt>{{TRecordingPrompts::pkShowMessage, kAwaitingScaleText}}));
    EXPECT_TRUE(Flow().PasswordForm()->isVisible());
    EXPECT_EQ(SerialWritten(), "");

    AnswerQuery();
    Click(Flow().PasswordForm()->BnOk);
    AnswerQuery();
    EXPECT_EQ(SerialWritten(), kScaleQuery + kWrite1022And992 + kScaleQuery);
    AnswerQuery();
    EXPECT_FALSE(Flow().PasswordForm()->isVisible());
}

TEST_F(WizardFlow, ReadingFromAnEarlierSaveDoesNotCountForTheNextRun) {
    RunUpToPassword("50.5", "49.8");
    AnswerQuery();
    Flow().PasswordForm()->reject();
    RunUpToPassword("50.5", "49.8");
    TypeInto(Flow().PasswordForm()->EdPassword, "047");
    Click(Flow().PasswordForm()->BnOk);
    EXPECT_EQ(Cutter().FlashWriteCount(), 0U);
    EXPECT_TRUE(Flow().PasswordForm()->isVisible());
}

TEST_F(WizardFlow, UnansweredScaleQueryClosesThePasswordDialogAndWritesNothing) {
    RunUpToPassword("50.5", "49.8");
    Line().DiscardAll();
    Tick(11);
    EXPECT_FALSE(Flow().PasswordForm()->isVisible());
    EXPECT_EQ(Prompts.Shown,
              (std::vector<TPrompt>{{TRecordingPrompts::pkMessageBox, "Device not found"}}));
    EXPECT_EQ(Cutter().FlashWriteCount(), 0U);
}

TEST_F(WizardFlow, ScalingWithAUsbCutterOnAComPortOpensNothing) {
    SetUsbCutterPlugged(true);
    ExpectNoModal([this] { Click(FMainForm->BnScaling); });
    EXPECT_EQ(Prompts.Shown,
              (std::vector<TPrompt>{{TRecordingPrompts::pkMessageBox, kUsbCableText}}));
    EXPECT_FALSE(Flow().ScaleForm()->isVisible());
}

// A test cut that went nowhere is said in a box before the measurement dialog asks the
// operator to measure it.
TEST_F(WizardFlow, TestCutThatCannotBeSentIsToldAndTheFlowGoesOn) {
    const std::pair<std::function<void()>, std::string> causes[] = {
        {[this] { SetUsbCutterPlugged(true); }, kUsbCableText},
        {[this] { FMainForm->ComboBox1->setEditText("COM9"); },
         std::string(kTestCutNotSentText) + "\nDevice not found"},
        // Bytes that never left are not a cut under way.
        {[this] { LoseWrites(true); },
         std::string(kTestCutNotSentText) + "\nCOM1 took 0 of the command's 57 bytes"},
        {[this] {
             SetUsbCutterPlugged(true);
             FMainForm->ComboBox1->setEditText("USB0");
             LoseWrites(true);
         },
         std::string(kTestCutNotSentText) + "\nUSB0 refused the command's 57 bytes"},
    };
    for (const auto& [cause, box] : causes) {
        SCOPED_TRACE(box);
        Prompts.Shown.clear();
        InsideModal(
            Flow().ScaleForm(), [this] { Click(FMainForm->BnScaling); },
            [this, &cause] {
                cause();
                Click(Flow().ScaleForm()->BnOk);
            });
        EXPECT_EQ(Prompts.Shown, (std::vector<TPrompt>{{TRecordingPrompts::pkMessageBox, box}}));
        EXPECT_EQ(SerialWritten(), "");
        EXPECT_TRUE(Flow().ScaleForm2()->isVisible());
        LoseWrites(false);
        SetUsbCutterPlugged(false);
        FMainForm->ComboBox1->setEditText("COM1");
        Flow().ScaleForm2()->reject();
    }
}

// A write refused, or one the link did not take, is not reported as saved.
TEST_F(WizardFlow, WriteThatDidNotLeaveIsNotReportedAsSaved) {
    const std::pair<std::function<void()>, std::vector<TPrompt>> causes[] = {
        {[this] { SetUsbCutterPlugged(true); },
         {{TRecordingPrompts::pkMessageBox, kUsbCableText},
          {TRecordingPrompts::pkShowMessage, kWriteNotSentText}}},
        {[this] { LoseWrites(true); }, {{TRecordingPrompts::pkShowMessage, kWriteNotSentText}}},
    };
    for (const auto& [cause, boxes] : causes) {
        SCOPED_TRACE(boxes.front().Text);
        RunUpToPassword("50.5", "49.8");
        AnswerQuery();
        TypeInto(Flow().PasswordForm()->EdPassword, "047");
        Click(Flow().PasswordForm()->BnOk);
        cause();
        Prompts.Shown.clear();
        AnswerQuery();
        EXPECT_EQ(Prompts.Shown, boxes);
        EXPECT_EQ(Cutter().FlashWriteCount(), 0U);
        SetUsbCutterPlugged(false);
        LoseWrites(false);
        Flow().PasswordForm()->reject();
    }
}

TEST_F(WizardFlow, NewTestCutAfterTheMeasurementBlocksTheWrite) {
    RunUpToPassword("50.5", "49.8");
    AnswerQuery();
    TypeInto(Flow().ScaleForm()->EdTestDraw_X, "100");
    OpenScalingAndConfirm();
    Flow().ScaleForm2()->reject();
    TypeInto(Flow().PasswordForm()->EdPassword, "047");
    Click(Flow().PasswordForm()->BnOk);
    EXPECT_EQ(Cutter().FlashWriteCount(), 0U);
    EXPECT_FALSE(Flow().PasswordForm()->isVisible());
    ASSERT_FALSE(Prompts.Shown.empty());
    EXPECT_EQ(Prompts.Shown.back(),
              (TPrompt{TRecordingPrompts::pkShowMessage, kMeasurementNotCutText}));
}

} // namespace
} // namespace dialogs::test
