// SPDX-License-Identifier: GPL-3.0-or-later
// Garbage, huge, tiny, negative, not-a-number and very long texts typed into the wizard's
// four size fields and its password field: the cutter gets a rectangle it cuts as typed or
// nothing at all, every refusal reaches the operator, and no text but the password writes
// the cutter's flash.

#include "dialogs/modify_form.h"
#include "dialogs/modify_form2.h"
#include "dialogs/password_form.h"
#include "dialogs/save_data_form.h"
#include "dialogs/scale_form.h"
#include "dialogs/scale_form2.h"
#include "tests/hardening/hardening_support.h"
#include "tests/support/wizard_over_window.h"
#include "toolkit/conversions.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>

namespace hardening::test {

namespace {

using testsupport::Paste;

const std::vector<std::string> kHostileNumbers = {"",
                                                  " ",
                                                  "abc",
                                                  "5O",
                                                  "nan",
                                                  "NaN",
                                                  "-nan",
                                                  "inf",
                                                  "-inf",
                                                  "+inf",
                                                  "Infinity",
                                                  "1e308",
                                                  "-1e308",
                                                  "1e309",
                                                  "1e-320",
                                                  "4.9e-324",
                                                  "0",
                                                  "-0",
                                                  "0.0",
                                                  "-50",
                                                  "-0.025",
                                                  "0x32",
                                                  "50,5",
                                                  "50 mm",
                                                  "\xEF\xBC\x95\xEF\xBC\x90",
                                                  "\xD9\xA5\xD9\xA0",
                                                  "50\t",
                                                  "\x01"
                                                  "50",
                                                  "50\x7F",
                                                  "--50",
                                                  "+-50",
                                                  "50e",
                                                  "50e+",
                                                  "e5",
                                                  ".",
                                                  "-.",
                                                  "1e10",
                                                  "1e-7",
                                                  "0.0001",
                                                  "0.02",
                                                  "26843545.6",
                                                  "99999999999999999999",
                                                  std::string(100000, '9'),
                                                  std::string(5000, '5') + ".5",
                                                  "0." + std::string(5000, '0') + "1",
                                                  "50",
                                                  "5e1",
                                                  "+50",
                                                  "50.",
                                                  " 50 ",
                                                  ".5e2",
                                                  "0.025",
                                                  "26843545.575",
                                                  "50.5",
                                                  "45",
                                                  "55",
                                                  "5.05e1"};

const std::vector<std::string> kHostilePasswords = {"",
                                                    " ",
                                                    "047 ",
                                                    " 047",
                                                    "0470",
                                                    "04",
                                                    "O47",
                                                    std::string("047\0", 4),
                                                    "\xEF\xBC\x90\xEF\xBC\x94\xEF\xBC\x97",
                                                    "\xE2\x80\xAE"
                                                    "047",
                                                    "047\n",
                                                    "\t047",
                                                    std::string(100000, '0'),
                                                    "%s%n%x",
                                                    "'; DROP TABLE scale; --",
                                                    "\xFF\xFE"
                                                    "047"};

class HostileFields : public testing::Test {
protected:
    static void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    int CommandsReceived() { return TranscriptLines("< "); }
    int InputIgnored() { return TranscriptLines("? "); }
    int TranscriptLines(const std::string& prefix) {
        int lines = 0;
        for (const std::string& line : FBench.Line().Transcript()) {
            lines += line.starts_with(prefix) ? 1 : 0;
        }
        return lines;
    }

    // What a refused step must leave: the dialog open, a message, nothing sent.
    void ExpectRefused(QDialog* dialog, std::size_t promptsBefore, int commandsBefore) {
        EXPECT_TRUE(dialog->isVisible());
        ASSERT_GT(FBench.Prompts.Shown.size(), promptsBefore);
        EXPECT_FALSE(FBench.Prompts.Shown.back().Text.empty());
        EXPECT_EQ(CommandsReceived(), commandsBefore);
    }

    // What an accepted step must leave: one more closed cut of the sizes kept, understood.
    void ExpectCut(std::size_t cutsBefore, int ignoredBefore, double width, double height) {
        ASSERT_EQ(FBench.Cutter().CutCount(), cutsBefore + 1);
        EXPECT_EQ(InputIgnored(), ignoredBefore);
        const sim::TCut& cut = FBench.Cutter().Cuts().back();
        EXPECT_TRUE(cut.Closed);
        EXPECT_NEAR(cut.WidthUnits, width, width * 1e-12);
        EXPECT_NEAR(cut.HeightUnits, height, height * 1e-12);
    }

    void MakeTestCut(const std::string& width, const std::string& height) {
        FFlow.ScaleForm()->show();
        Paste(FFlow.ScaleForm()->EdTestDraw_X, width);
        Paste(FFlow.ScaleForm()->EdTestDraw_Y, height);
        Click(FFlow.ScaleForm()->BnOk);
    }

    void HideWizard() {
        for (QDialog* dialog : std::initializer_list<QDialog*>{
                 FFlow.ScaleForm(), FFlow.ScaleForm2(), FFlow.ModifyForm(), FFlow.ModifyForm2(),
                 FFlow.PasswordForm()}) {
            dialog->hide();
        }
    }

    TFaultBench FBench{kSerialPort};
    testsupport::TWizardOverWindow FFlow{FBench.Form()};
};

TEST_F(HostileFields, TestSizeIsCutAsTypedOrRefusedWithAMessage) {
    for (const bool widthField : {true, false}) {
        for (const std::string& text : kHostileNumbers) {
            SCOPED_TRACE(testing::PrintToString(text.substr(0, 40)) + (widthField ? " X" : " Y"));
            const std::size_t promptsBefore = FBench.Prompts.Shown.size();
            const int commandsBefore = CommandsReceived();
            const std::size_t cutsBefore = FBench.Cutter().CutCount();
            const int ignoredBefore = InputIgnored();
            MakeTestCut(widthField ? text : "50", widthField ? "50" : text);
            if (FFlow.ScaleForm()->isVisible()) {
                ExpectRefused(FFlow.ScaleForm(), promptsBefore, commandsBefore);
            } else {
                EXPECT_TRUE(FFlow.ScaleForm2()->isVisible());
                ExpectCut(cutsBefore, ignoredBefore, FBench.Session().TestDrawSize().X,
                          FBench.Session().TestDrawSize().Y);
                const double typed = toolkit::StrToFloat(text) * 40;
                EXPECT_DOUBLE_EQ(widthField ? FBench.Session().TestDrawSize().X
                                            : FBench.Session().TestDrawSize().Y,
                                 typed);
            }
            HideWizard();
        }
    }
}

TEST_F(HostileFields, MeasurementIsCorrectedAsTypedOrRefusedWithAMessage) {
    MakeTestCut("50", "50");
    ASSERT_EQ(FBench.Cutter().CutCount(), 1U);
    for (const bool lengthField : {true, false}) {
        for (const std::string& text : kHostileNumbers) {
            SCOPED_TRACE(testing::PrintToString(text.substr(0, 40)) + (lengthField ? " X" : " Y"));
            const std::size_t promptsBefore = FBench.Prompts.Shown.size();
            const int commandsBefore = CommandsReceived();
            const std::size_t cutsBefore = FBench.Cutter().CutCount();
            const int ignoredBefore = InputIgnored();
            FFlow.ScaleForm2()->show();
            Paste(FFlow.ScaleForm2()->Edit1, lengthField ? text : "50");
            Paste(FFlow.ScaleForm2()->Edit2, lengthField ? "50" : text);
            Click(FFlow.ScaleForm2()->BnOk);
            if (FFlow.ScaleForm2()->isVisible()) {
                ExpectRefused(FFlow.ScaleForm2(), promptsBefore, commandsBefore);
            } else if (FFlow.ModifyForm()->isVisible()) {
                EXPECT_EQ(CommandsReceived(), commandsBefore) << "an unchanged scale sent a cut";
            } else {
                ASSERT_TRUE(FFlow.ModifyForm2()->isVisible());
                const double measured = toolkit::StrToFloat(text) * 40;
                const double corrected = std::trunc(2000.0L / measured * 2000.0L);
                ExpectCut(cutsBefore, ignoredBefore, lengthField ? corrected : 2000,
                          lengthField ? 2000 : corrected);
            }
            HideWizard();
        }
    }
}

TEST_F(HostileFields, OnlyTheExactPasswordWritesTheFlash) {
    MakeTestCut("50", "50");
    FFlow.ScaleForm2()->show();
    Paste(FFlow.ScaleForm2()->Edit1, "50.5");
    Paste(FFlow.ScaleForm2()->Edit2, "49.8");
    Click(FFlow.ScaleForm2()->BnOk);
    ASSERT_TRUE(FFlow.ModifyForm2()->isVisible());
    // Yes shows the save question modally: Save is clicked from inside its event loop.
    QTimer::singleShot(0, [this] { Click(FFlow.SaveDataForm()->BnSave); });
    Click(FFlow.ModifyForm2()->BnYes);
    ASSERT_TRUE(FFlow.PasswordForm()->isVisible());
    FBench.DeliverAll();
    FBench.TickUntilIdle();
    ASSERT_EQ(FBench.Session().Settings().ScaleX, 1012);

    for (const std::string& text : kHostilePasswords) {
        SCOPED_TRACE(testing::PrintToString(text.substr(0, 40)));
        Paste(FFlow.PasswordForm()->EdPassword, text);
        Click(FFlow.PasswordForm()->BnOk);
        EXPECT_EQ(FBench.Prompts.Shown.back().Text, dialogs::kInvalidPasswordText);
        EXPECT_TRUE(FFlow.PasswordForm()->isVisible());
        EXPECT_EQ(FBench.Cutter().FlashWriteCount(), 0U);
    }
    Paste(FFlow.PasswordForm()->EdPassword, dialogs::kPassword);
    Click(FFlow.PasswordForm()->BnOk);
    // The second reading, then the reading back of the write.
    for (int reading = 0; reading < 2; ++reading) {
        FBench.DeliverAll();
        FBench.Tick(11);
    }
    EXPECT_EQ(FBench.Prompts.Shown.back().Text, dialogs::kSaveCompleteText);
    EXPECT_EQ(FBench.Cutter().FlashWriteCount(), 2U);
    EXPECT_EQ(FBench.Cutter().ScaleX(), 1022);
    EXPECT_EQ(FBench.Cutter().ScaleY(), 992);
}

} // namespace

} // namespace hardening::test
