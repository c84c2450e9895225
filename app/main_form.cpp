// SPDX-License-Identifier: GPL-3.0-or-later
// Construction and layout of the main window, the log, and the panel's dialog buttons.

#include "app/main_form.h"

#include "app/design_position.h"
#include "app/log_window.h"
#include "app/port_list_box.h"
#include "app/window_look.h"
#include "toolkit/event_guard.h"
#include "toolkit/screen_reader_tree.h"

#include <QAccessible>
#include <QAction>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcutEvent>

#include <algorithm>
#include <cstdio>

namespace app {

namespace {

constexpr int kClientWidth = 368;
constexpr int kClientHeight = 288;
constexpr QPoint kDesignedPosition{254, 243};

constexpr int kButtonWidth = 99;
constexpr int kButtonHeight = 29;
constexpr int kLeftColumnX = 8;
constexpr int kRightColumnX = 261;
constexpr int kTopRowY = 8;

constexpr QRect kValueFrame{8, 45, 245, 227};
constexpr int kRowTop = 14;
constexpr int kRowPitch = 22;
constexpr int kCaptionX = 10;
constexpr int kValueX = 112;

constexpr QRect kScalingButton{kRightColumnX, 45, kButtonWidth, kButtonHeight};
constexpr QRect kPortFrame{kRightColumnX, 96, kButtonWidth, 60};
constexpr QRect kPortList{8, 26, 83, 24};
constexpr QRect kExitButton{kRightColumnX, 186, kButtonWidth, kButtonHeight};
constexpr QRect kAboutButton{kRightColumnX, 243, kButtonWidth, kButtonHeight};
// The log lies right of the client area: it takes every line but is not seen.
constexpr QRect kLogArea{378, 8, 185, 272};

constexpr int kWindowFontPixels = 11;
constexpr int kButtonFontPixels = 13;
constexpr int kCaptionFontPixels = 13;
constexpr int kValueFontPixels = 16;

// Each row's caption as drawn, and the row's name as a screen reader reads its value:
// without the padding and the colon that line the captions up.
struct TValueRow {
    const char* Caption;
    const char* Name;
};
constexpr TValueRow kValueRows[] = {
    {"Poll Size  X ：", "Poll Size X"},  {"           Y ：", "Poll Size Y"},
    {"Force        ：", "Force"},        {"Offset       ：", "Offset"},
    {"Media Weight ：", "Media Weight"}, {"Quality      ：", "Quality"},
    {"Smooth       ：", "Smooth"},       {"Auto Unroll  ：", "Auto Unroll"},
    {"Media Type   ：", "Media Type"},
};

QFont BoldFont(const QFont& base, int pixelSize) {
    QFont font = base;
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

// The toolkit answers a button's Alt+letter with an animated click that fires 100 ms
// later; the panel's buttons click at once, as a mouse click does. A letter two buttons
// share keeps the toolkit's handling (it moves the focus).
class TImmediateMnemonic : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* button = qobject_cast<QAbstractButton*>(watched);
        if (button == nullptr || event->type() != QEvent::Shortcut ||
            static_cast<QShortcutEvent*>(event)->isAmbiguous()) {
            return false;
        }
        button->click();
        return true;
    }
};

// The toolkit hands an Alt+letter that no enabled button takes to the focused widget, and
// the port list's text field would type the letter: a greyed button's letter would choose
// a port such as "COM1d" and end the exchange under way. A letter of one of the window's
// buttons never types; it does nothing while its button is greyed.
class TGreyedMnemonicGuard : public QObject {
public:
    TGreyedMnemonicGuard(const QWidget& window, QObject* parent)
        : QObject(parent), FWindow(window) {}

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers();
        if (!modifiers.testFlag(Qt::AltModifier) ||
            (modifiers & (Qt::ControlModifier | Qt::MetaModifier)) != 0) {
            return false;
        }
        return IsButtonLetter(key->key());
    }

private:
    bool IsButtonLetter(int key) const {
        const auto buttons = FWindow.findChildren<QAbstractButton*>();
        return std::any_of(buttons.begin(), buttons.end(), [key](const QAbstractButton* button) {
            const QKeySequence letter = QKeySequence::mnemonic(button->text());
            return !letter.isEmpty() && letter[0].key() == key;
        });
    }

    const QWidget& FWindow;
};

// The panel's buttons: bold captions, and Alt+letter clicks at once.
QPushButton* MakePanelButton(QWidget* parent, const char* caption, const QRect& geometry) {
    QPushButton* button = MakeButton(parent, QString::fromUtf8(caption), geometry);
    button->setFont(BoldFont(parent->font(), kButtonFontPixels));
    button->installEventFilter(new TImmediateMnemonic(button));
    return button;
}

// Top-aligned, so a label's baseline stays put when it is sized to a new text.
QLabel* MakeRowLabel(QWidget* parent, const QFont& font, const QString& text, QPoint position) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->move(position);
    label->adjustSize();
    return label;
}

QRect ButtonInTopRow(int column) {
    constexpr int columnX[] = {kLeftColumnX, 134, kRightColumnX};
    return {columnX[column], kTopRowY, kButtonWidth, kButtonHeight};
}

// Screen readers meet the panel as a window (a plain widget reads as a filler), and never
// meet the log, which lies outside the client area where no one sees it.
QAccessibleInterface* PanelAccessible(const QString& /*className*/, QObject* object) {
    auto* form = qobject_cast<TMainForm*>(object);
    return form != nullptr ? toolkit::ListedChildrenAccessible(*form, QAccessible::Window)
                           : nullptr;
}

} // namespace

TMainForm::TMainForm(const TPlatform& platform, QWidget* parent)
    : QWidget(parent), FPrompts(platform.Prompts),
      FSession(platform.Serial, platform.Usb, platform.PortSources) {
    QAccessible::installFactory(&PanelAccessible);
    BuildControls();
    ConnectHandlers();
    ConnectSession();
    BnDisDetect->setEnabled(false);
    AddLogWindowAction();
    SkipGreyedMnemonicsInPortList();
    BuildPortList();
}

TMainForm::~TMainForm() = default;

void TMainForm::BuildControls() {
    setWindowTitle(QStringLiteral("Tessaro"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // The log's Chinese prefixes are drawn from the caption face, even in the hidden memo,
    // which lays out every line it takes.
    QFont windowFont = font();
    windowFont.setPixelSize(kWindowFontPixels);
    setFont(WithCaptionFaceFallback(windowFont));
    setFixedSize(kClientWidth, kClientHeight);
    MoveToDesignPosition(*this, kDesignedPosition);

    BuildButtonRow();
    BnScaling = MakePanelButton(this, "&Scaling", kScalingButton);
    BuildValueRows();
    BuildRightColumn();

    Memo1 = new QPlainTextEdit(this);
    Memo1->setGeometry(kLogArea);
    Memo1->setReadOnly(true);
    Memo1->setPlainText(QStringLiteral("Memo1"));
    Memo1->setMaximumBlockCount(kLogLineLimit);
    // The operator cannot see the log here: Tab passes it by, and screen readers are not
    // shown it.
    Memo1->setFocusPolicy(Qt::NoFocus);
    toolkit::KeepFromScreenReaders(*Memo1);
}

void TMainForm::BuildButtonRow() {
    BnPollSize = MakePanelButton(this, "&Poll Size", ButtonInTopRow(0));
    BnLoopDetect = MakePanelButton(this, "&Loop Detect", ButtonInTopRow(1));
    BnDisDetect = MakePanelButton(this, "&DisDetect", ButtonInTopRow(2));
}

void TMainForm::BuildValueRows() {
    GroupBox1 = new toolkit::TRowFrame(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(kValueFrame);
    GroupBox1->setAccessibleName(QStringLiteral("Cutter settings"));
    QLabel** captions[] = {&Label1, &Label2, &Label3, &Label4, &Label5,
                           &Label6, &Label7, &Label8, &Label9};
    QLabel** values[] = {&LaPollSizeX, &LaPollSizeY, &LaForce,      &LaOffset,   &LaMediaWeight,
                         &LaQuality,   &LaSmooth,    &LaAutoUnroll, &LaMediaType};
    const QFont captionFont = FixedPitchFont(kCaptionFontPixels);
    const QFont valueFont = FixedPitchFont(kValueFontPixels);
    // Values stand on the captions' baseline although their face is larger.
    const int valueRise = QFontMetrics(valueFont).ascent() - QFontMetrics(captionFont).ascent();
    // Where the fixed-pitch CJK face is missing, the face used instead may draw the
    // captions wider: the values then start right of the widest caption.
    int valueX = kValueX;
    for (int row = 0; row < 9; ++row) {
        *captions[row] =
            MakeRowLabel(GroupBox1, captionFont, QString::fromUtf8(kValueRows[row].Caption),
                         QPoint(kCaptionX, kRowTop + row * kRowPitch));
        valueX = std::max(valueX, kCaptionX + (*captions[row])->width());
    }
    for (int row = 0; row < 9; ++row) {
        *values[row] = MakeRowLabel(GroupBox1, valueFont, QString(),
                                    QPoint(valueX, kRowTop + row * kRowPitch - valueRise));
        // A screen reader reads the row once: its value, named by the row.
        (*values[row])->setAccessibleName(QString::fromUtf8(kValueRows[row].Name));
        toolkit::KeepFromScreenReaders(**captions[row]);
    }
}

void TMainForm::BuildRightColumn() {
    GroupBox2 = new QGroupBox(QStringLiteral("Port"), this);
    GroupBox2->setGeometry(kPortFrame);
    GroupBox2->setFont(BoldFont(font(), kButtonFontPixels));
    auto* portList = new TPortListBox(GroupBox2);
    QFont listFont = font();
    listFont.setBold(false);
    portList->setFont(listFont);
    portList->setGeometry(kPortList);
    portList->OnDropDown = [this] { Guarded([this] { ComboBox1DropDown(); }); };
    // The list reads as the port it shows, labelled by its frame; its text field as what
    // it takes.
    portList->lineEdit()->setAccessibleName(GroupBox2->title());
    ComboBox1 = portList;
    BnExit = MakePanelButton(this, "&Exit", kExitButton);
    BnAbout = MakePanelButton(this, "&About", kAboutButton);
}

void TMainForm::ConnectClick(QPushButton* button, void (TMainForm::*handler)()) {
    connect(button, &QPushButton::clicked, this,
            [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
}

void TMainForm::ConnectHandlers() {
    ConnectClick(BnPollSize, &TMainForm::BnPollSizeClick);
    ConnectClick(BnLoopDetect, &TMainForm::BnLoopDetectClick);
    ConnectClick(BnDisDetect, &TMainForm::BnDisDetectClick);
    ConnectClick(BnScaling, &TMainForm::BnScalingClick);
    ConnectClick(BnExit, &TMainForm::BnExitClick);
    ConnectClick(BnAbout, &TMainForm::BnAboutClick);
    // The operator's choice: an item picked from the list, or an edit of the text. Text set
    // by the program runs no check.
    const auto change = [this] { Guarded([this] { ComboBox1Change(); }); };
    connect(ComboBox1, &QComboBox::textActivated, this, change);
    connect(ComboBox1->lineEdit(), &QLineEdit::textEdited, this, change);
    // Every text the list shows, set by the program or typed, names the session's link.
    connect(ComboBox1, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { FSession.SetPortName(text.toStdString()); });
}

// The log and the panel follow the session as it goes; a box waits until the tick that
// reported it has returned, so no modal loop runs inside a tick.
void TMainForm::ConnectSession() {
    connect(&FSession, &session::TCutterSession::LogLine, this, &TMainForm::AddLog);
    connect(&FSession, &session::TCutterSession::SettingsChanged, this, &TMainForm::ShowSettings);
    connect(&FSession, &session::TCutterSession::MonitorStopped, this, &TMainForm::GiveButtonsBack);
    // A sender refuses from a handler of the operator's, never from a tick.
    connect(&FSession, &session::TCutterSession::Failed, this,
            [this](const session::TOutcome& failure) {
                if (failure.Kind == session::okUsbBlocked) {
                    FPrompts.MessageBox(failure.Cause);
                }
            });
    connect(
        &FSession, &session::TCutterSession::Failed, this,
        [this](const session::TOutcome& failure) {
            Guarded([this, failure] { ShowFailure(failure); });
        },
        Qt::QueuedConnection);
}

void TMainForm::ShowFailure(const session::TOutcome& failure) {
    switch (failure.Kind) {
    case session::okSilent:
        FPrompts.MessageBox(failure.Cause);
        break;
    case session::okReplyRefused:
        ShowDecodeFailure(failure.Cause);
        break;
    case session::okHandlerFailed:
        FPrompts.ShowException(failure.Cause);
        break;
    default:
        break;
    }
}

void TMainForm::Guarded(const std::function<void()>& handler) {
    toolkit::RunGuarded(FPrompts, handler);
}

void TMainForm::SetDialogs(TPanelDialogs dialogs) {
    FDialogs = std::move(dialogs);
}

// A line beyond the line limit reaches the memo, the log window and standard error cut.
// While the log window is closed a line costs it nothing. Standard error is written with
// C stdio: the C++ streams would add their locale set-up to every start.
void TMainForm::AddLog(const std::string& line) {
    const QString received = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    const QString shown = LogLineText(received);
    AppendBoundedLine(*Memo1, shown);
    if (FLogWindow != nullptr && FLogWindow->isVisible()) {
        FLogWindow->AppendLine(shown);
    }
    const std::string written = received.size() > kLogLineCharLimit ? shown.toStdString() : line;
    std::fwrite(written.data(), 1, written.size(), stderr);
    std::fputc('\n', stderr);
}

// The context menu of the window's background and Ctrl+L open the log window; the panel
// shows nothing of it.
void TMainForm::AddLogWindowAction() {
    auto* showLog = new QAction(QStringLiteral("&Log..."), this);
    showLog->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(showLog, &QAction::triggered, this, [this] { Guarded([this] { ShowLogWindow(); }); });
    addAction(showLog);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

// The memo starts out holding its own name, "Memo1": that first line is not a line of
// the log.
void TMainForm::ShowLogWindow() {
    if (FLogWindow == nullptr) {
        FLogWindow = new TLogWindow(*this, FPrompts);
    }
    if (!FLogWindow->isVisible()) {
        QStringList lines = Memo1->toPlainText().split(QLatin1Char('\n'));
        if (lines.front() == QStringLiteral("Memo1")) {
            lines.removeFirst();
        }
        FLogWindow->ShowLog(lines.join(QLatin1Char('\n')));
    }
    FLogWindow->show();
    FLogWindow->raise();
    FLogWindow->activateWindow();
}

void TMainForm::SkipGreyedMnemonicsInPortList() {
    auto* guard = new TGreyedMnemonicGuard(*this, this);
    ComboBox1->installEventFilter(guard);
    ComboBox1->lineEdit()->installEventFilter(guard);
}

// Texts from the cutter are 8-bit characters, shown as such.
void TMainForm::ShowSettings() {
    const protocol::CutterSettings& settings = FSession.Settings();
    const std::pair<QLabel*, const std::string*> rows[] = {
        {LaPollSizeX, &settings.PollSizeX},
        {LaPollSizeY, &settings.PollSizeY},
        {LaForce, &settings.Force},
        {LaOffset, &settings.Offset},
        {LaMediaWeight, &settings.MediaWeight},
        {LaQuality, &settings.Quality},
        {LaSmooth, &settings.Smooth},
        {LaAutoUnroll, &settings.AutoUnroll},
        {LaMediaType, &settings.MediaType},
    };
    for (const auto& [label, text] : rows) {
        label->setText(QString::fromLatin1(text->data(), static_cast<qsizetype>(text->size())));
        label->adjustSize();
    }
}

// The monitor keeps decoding while the box is open, so a cutter that keeps answering
// garbage would stack one modal box on the other without end: while one is on screen,
// later failures go to the log.
void TMainForm::ShowDecodeFailure(const std::string& message) {
    if (FDecodeFailureOnScreen) {
        AddLog(message);
        return;
    }
    FDecodeFailureOnScreen = true;
    struct TBoxClosed {
        bool& OnScreen;
        ~TBoxClosed() { OnScreen = false; }
    } boxClosed{FDecodeFailureOnScreen};
    FPrompts.ShowException(message);
}

void TMainForm::ShowDialogUnlessUsbBlocks(const std::function<QDialog*()>& dialog) {
    if (FSession.UsbBlocksComPort()) {
        FPrompts.MessageBox(session::kUsbCablePluggedText);
        return;
    }
    if (dialog) {
        dialog()->exec();
    }
}

void TMainForm::BnScalingClick() {
    ShowDialogUnlessUsbBlocks(FDialogs.Scaling);
}

void TMainForm::BnAboutClick() {
    ShowDialogUnlessUsbBlocks(FDialogs.About);
}

void TMainForm::BnExitClick() {
    close();
}

} // namespace app
