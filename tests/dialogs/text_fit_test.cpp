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

// The room a text needs in `font`, its lines broken at the line feeds only.
QSize TextExtent(const QFont& font, const QString& text) {
    return QFontMetrics(font).boundingRect(QRect(), Qt::TextShowMnemonic, text).size();
}

// A label draws inside its contents rectangle (a word-wrapped one breaks its lines to its
// width and must then be tall enough); a button inside the contents rectangle its style
// gives it, beside the indicator of a radio button; a frame's title inside the frame.
struct TTextRoom {
    QString Text;
    QSize Needed;
    QSize Room;
};

std::optional<TTextRoom> RoomOf(const QWidget& control) {
    if (const auto* label = qobject_cast<const QLabel*>(&control)) {
        const QSize needed = label->wordWrap() ? QSize(0, label->heightForWidth(label->width()))
                                               : TextExtent(label->font(), label->text());
        const int margin = label->margin();
        return TTextRoom{label->text(), needed,
                         label->contentsRect().adjusted(margin, margin, -margin, -margin).size()};
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const auto contents = qobject_cast<const QRadioButton*>(button) != nullptr
                                  ? QStyle::SE_RadioButtonContents
                                  : QStyle::SE_PushButtonContents;
        return TTextRoom{button->text(), TextExtent(button->font(), button->text()),
                         button->style()->subElementRect(contents, &option, button).size()};
    }
    if (const auto* frame = qobject_cast<const QGroupBox*>(&control)) {
        return TTextRoom{frame->title(), TextExtent(frame->font(), frame->title()), frame->size()};
    }
    return std::nullopt;
}

// Fails for each shown text of the window that is cut off.
void ExpectTextsFit(const QWidget& window) {
    for (const QWidget* control : window.findChildren<QWidget*>()) {
        const std::optional<TTextRoom> room = RoomOf(*control);
        if (control->isVisibleTo(&window) && room &&
            (room->Needed.width() > room->Room.width() ||
             room->Needed.height() > room->Room.height())) {
            ADD_FAILURE() << QStringLiteral("%1/%2: '%3' needs %4x%5 in %6x%7")
                                 .arg(window.windowTitle(), control->objectName(), room->Text)
                                 .arg(room->Needed.width())
                                 .arg(room->Needed.height())
                                 .arg(room->Room.width())
                                 .arg(room->Room.height())
                                 .toStdString();
        }
    }
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
        ExpectTextsFit(*window);
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
            ExpectTextsFit(*box);
            box->close();
        });
        boxes.MessageBox(text);
    }
}

} // namespace
} // namespace dialogs::test
