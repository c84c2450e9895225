// SPDX-License-Identifier: GPL-3.0-or-later
// Every text of every window fits the control that shows it: the main window, About, the
// six wizard dialogs and the message boxes, each shown as the program shows it. The test
// program runs once as it is and once at QT_SCALE_FACTOR=2 (tests/dialogs/CMakeLists.txt).

#include "dialogs_test_support.h"

#include "dialogs/about_form.h"
#include "dialogs/modify_form.h"
#include "dialogs/modify_form2.h"
#include "dialogs/password_form.h"
#include "dialogs/save_data_form.h"
#include "dialogs/scale_form.h"
#include "dialogs/scale_form2.h"
#include "session/cutter_session.h"
#include "session/link.h"
#include "toolkit/qt_prompts.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>

#include <string>
#include <vector>

namespace dialogs::test {
namespace {

QString Named(const QWidget& control) {
    return control.window()->windowTitle() + "/" + control.objectName();
}

// The room a text needs in `font`, its lines broken at the line feeds only.
QSize TextExtent(const QFont& font, const QString& text) {
    return QFontMetrics(font).boundingRect(QRect(), Qt::TextShowMnemonic, text).size();
}

QString Cut(const QWidget& control, const QString& text, QSize needed, QSize room) {
    return QStringLiteral("%1: '%2' needs %3x%4 in %5x%6")
        .arg(Named(control), text)
        .arg(needed.width())
        .arg(needed.height())
        .arg(room.width())
        .arg(room.height());
}

// A label draws inside its contents rectangle; a word-wrapped one breaks its lines to its
// width and must then be tall enough.
std::optional<QString> LabelCut(const QLabel& label) {
    const QRect room = label.contentsRect().marginsRemoved(
        QMargins(label.margin(), label.margin(), label.margin(), label.margin()));
    const QSize needed = label.wordWrap() ? QSize(0, label.heightForWidth(label.width()))
                                          : TextExtent(label.font(), label.text());
    if (needed.width() <= room.width() && needed.height() <= room.height()) {
        return std::nullopt;
    }
    return Cut(label, label.text(), needed, room.size());
}

// A button's text is drawn inside the contents rectangle its style gives it, beside the
// indicator of a radio button.
std::optional<QString> ButtonCut(const QAbstractButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    const bool radio = qobject_cast<const QRadioButton*>(&button) != nullptr;
    const QRect room = button.style()->subElementRect(
        radio ? QStyle::SE_RadioButtonContents : QStyle::SE_PushButtonContents, &option, &button);
    const QSize needed = TextExtent(button.font(), button.text());
    if (needed.width() <= room.width() && needed.height() <= room.height()) {
        return std::nullopt;
    }
    return Cut(button, button.text(), needed, room.size());
}

std::optional<QString> FrameCut(const QGroupBox& frame) {
    const QSize needed = TextExtent(frame.font(), frame.title());
    if (needed.width() <= frame.width() && needed.height() <= frame.height()) {
        return std::nullopt;
    }
    return Cut(frame, frame.title(), needed, frame.size());
}

// What is cut off in the window as it stands; texts not shown are not asked about.
std::vector<QString> TextsCut(const QWidget& window) {
    std::vector<QString> cut;
    for (const QWidget* control : window.findChildren<QWidget*>()) {
        if (!control->isVisibleTo(&window)) {
            continue;
        }
        std::optional<QString> found;
        if (const auto* label = qobject_cast<const QLabel*>(control)) {
            found = LabelCut(*label);
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
            found = ButtonCut(*button);
        } else if (const auto* frame = qobject_cast<const QGroupBox*>(control)) {
            found = FrameCut(*frame);
        }
        if (found) {
            cut.push_back(*found);
        }
    }
    return cut;
}

// The boxes' texts: the longest lines and the two-line ones among them.
const std::vector<std::string> kBoxTexts{
    session::kUsbCablePluggedText,
    std::string(session::kDeviceNotFoundText) +
        "\nPermission denied on /dev/ttyUSB0: add your user to the group dialout",
    kInvalidPasswordText,
    kSaveCompleteText,
    kAwaitingScaleText,
    kPortChangedText,
    kMeasurementNotCutText,
    kTestCutNotSentText,
    "Length X: 56 mm is more than 10 % away from the 50 mm test size. Please measure again.",
};

using TextFit = TDialogsTest;

TEST_F(TextFit, EveryLabelAndButtonOfEveryWindowAndBoxFitsItsText) {
    const QByteArray factor = qgetenv("QT_SCALE_FACTOR");
    std::vector<QWidget*> windows{
        FMainForm,           Flow().AboutForm(),   Flow().ScaleForm(),    Flow().ScaleForm2(),
        Flow().ModifyForm(), Flow().ModifyForm2(), Flow().SaveDataForm(), Flow().PasswordForm()};
    for (QWidget* window : windows) {
        // Shown, as each fills its texts when shown.
        window->show();
        QApplication::processEvents();
        EXPECT_EQ(window->devicePixelRatioF(), factor.isEmpty() ? 1.0 : factor.toDouble());
        for (const QString& cut : TextsCut(*window)) {
            ADD_FAILURE() << cut.toStdString();
        }
        if (window != FMainForm) {
            window->hide();
        }
    }
    toolkit::TQtPrompts boxes;
    boxes.SetMainWindow(FMainForm);
    for (const std::string& text : kBoxTexts) {
        QTimer::singleShot(0, [] {
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_NE(box, nullptr);
            for (const QString& cut : TextsCut(*box)) {
                ADD_FAILURE() << cut.toStdString();
            }
            box->close();
        });
        boxes.MessageBox(text);
    }
}

} // namespace
} // namespace dialogs::test
