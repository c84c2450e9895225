// SPDX-License-Identifier: GPL-3.0-or-later
// The About dialog: the notice rebuilt on every show, and the firmware identity asked for
// on show and kept across showings.

#include "dialogs_test_support.h"

#include "dialogs/about_form.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace dialogs::test {
namespace {

const std::string kFirmwareQuery = "\x1b.R4:";

using AboutDialog = TDialogsTest;

TEST_F(AboutDialog, NoticeAndFirmwareFillInOnceTheReplySettles) {
    const bool leftOpen = InsideModal(
        Flow().AboutForm(), [this] { Click(FMainForm->BnAbout); },
        [this] {
            EXPECT_EQ(Flow().AboutForm()->LaCopyRight->text(),
                      "Detecting Program Version 2.3\nCopyright (C) 2026 \nTessaro "
                      "contributors.\nAll rights reserved.");
            EXPECT_EQ(Flow().AboutForm()->LaCopyRight->geometry(), QRect(30, 20, 235, 95));
            EXPECT_FALSE(Flow().AboutForm()->LaCopyRight->wordWrap());
            EXPECT_EQ(SerialWritten(), kFirmwareQuery);
            DeliverReply();
            Tick(10);
            EXPECT_EQ(Flow().AboutForm()->LaModel->text(), "");
            Tick(1);
            EXPECT_EQ(Flow().AboutForm()->LaModel->text(), "TC-60");
            EXPECT_EQ(Flow().AboutForm()->LaVersion->text(), "2.10");
            Click(Flow().AboutForm()->BnOk);
        });
    EXPECT_FALSE(leftOpen);
    EXPECT_TRUE(Prompts.Shown.empty());
}

// Only OK and the close box close the dialog.
TEST_F(AboutDialog, EscapeLeavesTheDialogOpen) {
    EXPECT_TRUE(InsideModal(
        Flow().AboutForm(), [this] { Click(FMainForm->BnAbout); },
        [this] { QTest::keyClick(Flow().AboutForm(), Qt::Key_Escape); }));
}

TEST_F(AboutDialog, SilentCutterTheSecondTimeKeepsTheLastIdentity) {
    InsideModal(
        Flow().AboutForm(), [this] { Click(FMainForm->BnAbout); },
        [this] {
            AnswerQuery();
            Click(Flow().AboutForm()->BnOk);
        });
    ForgetSerialWritten();
    InsideModal(
        Flow().AboutForm(), [this] { Click(FMainForm->BnAbout); },
        [this] {
            Line().DiscardAll();
            Tick(11);
            EXPECT_EQ(Flow().AboutForm()->LaModel->text(), "TC-60");
            EXPECT_EQ(Flow().AboutForm()->LaVersion->text(), "2.10");
        });
    EXPECT_EQ(SerialWritten(), kFirmwareQuery);
    EXPECT_EQ(Prompts.Shown,
              (std::vector<TPrompt>{{TRecordingPrompts::pkMessageBox, "Device not found"}}));
}

TEST_F(AboutDialog, UsbCutterOnAComPortShowsTheMessageInsteadOfTheDialog) {
    SetUsbCutterPlugged(true);
    ExpectNoModal([this] { Click(FMainForm->BnAbout); });
    EXPECT_EQ(Prompts.Shown,
              (std::vector<TPrompt>{{TRecordingPrompts::pkMessageBox,
                                     "When USB cable plug-in, com port not working."}}));
    EXPECT_EQ(SerialWritten(), "");
}

} // namespace
} // namespace dialogs::test
