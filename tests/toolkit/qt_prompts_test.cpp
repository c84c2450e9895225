// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/qt_prompts.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>
#include <string>

namespace {

struct TShownBox {
    QString Caption;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons Buttons;
    Qt::TextFormat Format = Qt::AutoText;
};

// Shows one prompt, reads the modal box it opens and answers it with OK.
TShownBox ShowAndAnswer(const std::function<void(toolkit::TPrompts&)>& show) {
    int argc = 1;
    char name[] = "qt_prompts_test";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    TShownBox shown;
    QTimer answer;
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        shown = {box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                 box->textFormat()};
        box->button(QMessageBox::Ok)->click();
    });
    answer.start();
    toolkit::TQtPrompts prompts;
    show(prompts);
    return shown;
}

TEST(QtPrompts, MessageBoxIsTheWarningBoxWithTheTitleAndOk) {
    const TShownBox box =
        ShowAndAnswer([](toolkit::TPrompts& p) { p.MessageBox("Device not found"); });
    EXPECT_EQ(box.Caption, "QUIX");
    EXPECT_EQ(box.Text, "Device not found");
    EXPECT_EQ(box.Icon, QMessageBox::Warning);
    EXPECT_EQ(box.Buttons, QMessageBox::Ok);
}

TEST(QtPrompts, ShowMessageHasNoIcon) {
    const TShownBox box = ShowAndAnswer([](toolkit::TPrompts& p) { p.ShowMessage("密碼"); });
    EXPECT_EQ(box.Caption, "QUIX");
    EXPECT_EQ(box.Text, QString::fromUtf8("密碼"));
    EXPECT_EQ(box.Icon, QMessageBox::NoIcon);
    EXPECT_EQ(box.Buttons, QMessageBox::Ok);
}

TEST(QtPrompts, ErrorBoxIsCriticalAndShowsMarkupAsPlainText) {
    const TShownBox box = ShowAndAnswer(
        [](toolkit::TPrompts& p) { p.ShowException("'<b>1</b>' is not a valid integer value"); });
    EXPECT_EQ(box.Caption, "QUIX");
    EXPECT_EQ(box.Text, "'<b>1</b>' is not a valid integer value");
    EXPECT_EQ(box.Icon, QMessageBox::Critical);
    EXPECT_EQ(box.Format, Qt::PlainText);
}

} // namespace
