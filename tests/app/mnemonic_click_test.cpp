// SPDX-License-Identifier: GPL-3.0-or-later
// The panel's keyboard: Alt+letter keys run their button's action at once, as a mouse
// click does, not a tenth of a second later as the toolkit's animated click would; and the
// focus stays on the buttons when Loop Detect and DisDetect switch them, instead of falling
// into the port list's text, whose caret would blink for as long as the window is active.

#include "tests/app/app_test_support.h"

#include <gmock/gmock.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace app::polltest {
namespace {

class TMnemonicClickTest : public TPollTest {
protected:
    // Shows the window and makes it the active one, so its shortcuts take keys.
    void BuildActive() {
        Build();
        Form().show();
        Form().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Form()));
    }

    void PressAlt(Qt::Key letter) { QTest::keyClick(&Form(), letter, Qt::AltModifier); }
};

TEST_F(TMnemonicClickTest, AltPSendsTheSizeQueryBeforeTheKeyReturns) {
    BuildActive();
    PressAlt(Qt::Key_P);
    EXPECT_EQ(View().Asked(protocol::ccPollSize), 1);
    EXPECT_EQ(CutterCommands(), std::vector<std::string>{"OH;"});
}

TEST_F(TMnemonicClickTest, AltLStartsAndAltDStopsTheMonitorAtOnce) {
    BuildActive();
    PressAlt(Qt::Key_L);
    EXPECT_EQ(View().Asked(protocol::ccSettingsQuery), 1);
    EXPECT_TRUE(Form().BnDisDetect->isEnabled());
    PressAlt(Qt::Key_D);
    EXPECT_EQ(View().Asked(protocol::ccSettingsQuery), 0);
    EXPECT_TRUE(Form().BnPollSize->isEnabled());
}

// A disabled button's letter does nothing, as its click would not.
TEST_F(TMnemonicClickTest, LetterOfADisabledButtonDoesNothing) {
    BuildActive();
    PressAlt(Qt::Key_D);
    EXPECT_FALSE(Form().BnDisDetect->isEnabled());
    EXPECT_THAT(Log(), ::testing::IsEmpty());
}

// With the caret in the port field, a greyed button's letter neither types into the field
// (which would choose a port "COM1d" and end the exchange under way) nor does anything else.
TEST_F(TMnemonicClickTest, LetterOfADisabledButtonTypesNothingIntoThePortField) {
    BuildActive();
    QLineEdit* field = Form().ComboBox1->lineEdit();
    Form().ComboBox1->setFocus();
    QTest::keyClick(field, Qt::Key_End);
    QTest::keyClick(field, Qt::Key_D, Qt::AltModifier);
    EXPECT_EQ(field->text().toStdString(), kSerialPort);
    EXPECT_THAT(Log(), ::testing::IsEmpty());

    PressAlt(Qt::Key_L);
    for (const Qt::Key greyed : {Qt::Key_P, Qt::Key_L, Qt::Key_S, Qt::Key_A}) {
        QTest::keyClick(field, greyed, Qt::AltModifier);
    }
    EXPECT_EQ(field->text().toStdString(), kSerialPort);
    EXPECT_EQ(View().Asked(protocol::ccSettingsQuery), 1);
    EXPECT_EQ(CutterCommands(), std::vector<std::string>{"<ESC>.R1:"});
    // Letters that are no button's still type.
    QTest::keyClick(field, Qt::Key_0);
    EXPECT_EQ(field->text().toStdString(), std::string(kSerialPort) + "0");
}

using TPanelFocusTest = TMnemonicClickTest;

TEST_F(TPanelFocusTest, ClickedLoopDetectHandsTheFocusToDisDetectAndBack) {
    BuildActive();
    QTest::mouseClick(Form().BnLoopDetect, Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), Form().BnDisDetect);
    QTest::mouseClick(Form().BnDisDetect, Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), Form().BnLoopDetect);
}

TEST_F(TPanelFocusTest, FocusInThePortListStaysThereThroughAltLAndAltD) {
    BuildActive();
    Form().ComboBox1->setFocus();
    PressAlt(Qt::Key_L);
    EXPECT_EQ(QApplication::focusWidget(), Form().ComboBox1);
    PressAlt(Qt::Key_D);
    EXPECT_EQ(QApplication::focusWidget(), Form().ComboBox1);
}

} // namespace
} // namespace app::polltest
