// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as the operator first sees it, its log, and the panel buttons that
// open the dialogs.

#include "tests/app/app_test_support.h"

#include "app/log_window.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRawFont>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

namespace app::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class MainWindow : public TMainFormTest {};

TEST_F(MainWindow, IsAFixedSizeWindowWithOnlyTheCloseBox) {
    TMainForm& form = Create();
    EXPECT_EQ(form.windowTitle(), "Tessaro");
    EXPECT_EQ(form.minimumSize(), QSize(368, 288));
    EXPECT_EQ(form.maximumSize(), QSize(368, 288));
    EXPECT_EQ(form.pos(), QPoint(254, 243));
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
}

TEST_F(MainWindow, ButtonsHaveTheirCaptionsSizeAndStartState) {
    TMainForm& form = Create();
    struct TButton {
        QPushButton* Button;
        const char* Caption;
        bool Enabled;
    };
    const TButton buttons[] = {
        {form.BnPollSize, "&Poll Size", true},
        {form.BnLoopDetect, "&Loop Detect", true},
        {form.BnDisDetect, "&DisDetect", false},
        {form.BnScaling, "&Scaling", true},
        {form.BnExit, "&Exit", true},
        {form.BnAbout, "&About", true},
    };
    for (const TButton& b : buttons) {
        SCOPED_TRACE(b.Caption);
        EXPECT_EQ(b.Button->text(), QString::fromUtf8(b.Caption));
        EXPECT_EQ(b.Button->size(), QSize(99, 29));
        EXPECT_TRUE(b.Button->font().bold());
        EXPECT_EQ(b.Button->isEnabled(), b.Enabled);
        const QRect inWindow(b.Button->mapTo(&form, QPoint(0, 0)), b.Button->size());
        EXPECT_TRUE(form.rect().contains(inWindow));
    }
}

TEST_F(MainWindow, RowCaptionsAreFourteenCharactersEndingInTheFullWidthColon) {
    TMainForm& form = Create();
    const std::pair<QLabel*, const char*> rows[] = {
        {form.Label1, "Poll Size  X ："}, {form.Label2, "           Y ："},
        {form.Label3, "Force        ："}, {form.Label4, "Offset       ："},
        {form.Label5, "Media Weight ："}, {form.Label6, "Quality      ："},
        {form.Label7, "Smooth       ："}, {form.Label8, "Auto Unroll  ："},
        {form.Label9, "Media Type   ："},
    };
    int previousY = -1;
    for (const auto& [label, caption] : rows) {
        SCOPED_TRACE(caption);
        EXPECT_EQ(label->text().toStdString(), caption);
        EXPECT_EQ(label->text().size(), 14);
        EXPECT_EQ(label->parentWidget(), form.GroupBox1);
        EXPECT_EQ(label->x(), form.Label1->x());
        if (previousY >= 0) {
            EXPECT_EQ(label->y() - previousY, 22);
        }
        previousY = label->y();
    }
}

// The colons line up only in a face whose half-width characters share one advance and
// which has the full-width colon itself, not borrowed from a fallback face.
TEST_F(MainWindow, RowCaptionColonsLineUp) {
    TMainForm& form = Create();
    QLabel* captions[] = {form.Label1, form.Label2, form.Label3, form.Label4, form.Label5,
                          form.Label6, form.Label7, form.Label8, form.Label9};
    const QFontMetrics metrics(form.Label1->font());
    EXPECT_TRUE(QRawFont::fromFont(form.Label1->font()).supportsCharacter(0xFF1A))
        << QFontInfo(form.Label1->font()).family().toStdString();
    const int colonX = metrics.horizontalAdvance(form.Label1->text().left(13));
    for (QLabel* caption : captions) {
        SCOPED_TRACE(caption->text().toStdString());
        EXPECT_EQ(caption->font(), form.Label1->font());
        EXPECT_EQ(metrics.horizontalAdvance(caption->text().left(13)), colonX);
        EXPECT_GE(caption->width(), metrics.horizontalAdvance(caption->text()));
    }
}

TEST_F(MainWindow, ValueLabelsStartEmptyBesideTheirCaptions) {
    TMainForm& form = Create();
    const std::pair<QLabel*, QLabel*> rows[] = {
        {form.Label1, form.LaPollSizeX},   {form.Label2, form.LaPollSizeY},
        {form.Label3, form.LaForce},       {form.Label4, form.LaOffset},
        {form.Label5, form.LaMediaWeight}, {form.Label6, form.LaQuality},
        {form.Label7, form.LaSmooth},      {form.Label8, form.LaAutoUnroll},
        {form.Label9, form.LaMediaType},
    };
    for (const auto& [caption, value] : rows) {
        SCOPED_TRACE(caption->text().toStdString());
        EXPECT_TRUE(value->text().isEmpty());
        EXPECT_GE(value->x(), caption->x() + caption->width());
        const int captionBaseline = caption->y() + QFontMetrics(caption->font()).ascent();
        const int valueBaseline = value->y() + QFontMetrics(value->font()).ascent();
        EXPECT_LE(std::abs(valueBaseline - captionBaseline), 1);
    }
}

TEST_F(MainWindow, PortListIsAnEditableUnsortedListInThePortFrame) {
    TMainForm& form = Create();
    EXPECT_EQ(form.GroupBox2->title(), "Port");
    EXPECT_EQ(form.ComboBox1->parentWidget(), form.GroupBox2);
    EXPECT_TRUE(form.ComboBox1->isEditable());
    EXPECT_EQ(form.ComboBox1->insertPolicy(), QComboBox::NoInsert);
    EXPECT_TRUE(form.GroupBox1->title().isEmpty());
}

TEST_F(MainWindow, PortListRowsAreSixteenPixelsHigh) {
    Sources.SerialCommMap = {{"\\Device\\Serial0", "COM1", "/dev/ttyS0"},
                             {"\\Device\\Serial1", "COM2", "/dev/ttyS1"}};
    TMainForm& form = Create();
    form.show();
    ASSERT_EQ(form.ComboBox1->count(), 2);
    form.ComboBox1->showPopup();
    const QAbstractItemView* list = form.ComboBox1->view();
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(list->visualRect(list->model()->index(row, 0)).height(), 16);
    }
    form.ComboBox1->hidePopup();
}

TEST_F(MainWindow, TabOrderFollowsTheControlsTable) {
    TMainForm& form = Create();
    const std::vector<QWidget*> expected = {form.BnPollSize, form.BnLoopDetect, form.BnDisDetect,
                                            form.BnScaling,  form.ComboBox1,    form.BnExit,
                                            form.BnAbout};
    std::vector<QWidget*> chain;
    QWidget* widget = form.BnPollSize;
    do {
        if (std::find(expected.begin(), expected.end(), widget) != expected.end()) {
            chain.push_back(widget);
        }
        widget = widget->nextInFocusChain();
    } while (widget != form.BnPollSize && chain.size() < expected.size());
    EXPECT_EQ(chain, expected);
}

TEST_F(MainWindow, LogStartsWithMemo1AndLiesOutsideTheClientArea) {
    TMainForm& form = Create();
    EXPECT_EQ(form.Memo1->document()->blockCount(), 1);
    EXPECT_EQ(form.Memo1->document()->firstBlock().text(), "Memo1");
    EXPECT_GE(form.Memo1->x(), form.width());
}

// A reply is logged with the carriage return that ended it, noise with others inside:
// standard error has them as received, the memo shows each line as one.
TEST_F(MainWindow, LogLineGoesToTheMemoAndToStandardError) {
    TMainForm& form = Create();
    ::testing::internal::CaptureStderr();
    form.AddLog("接收:0,0,4000,2000\r");
    form.AddLog("接收:12\r\n34\r\n");
    form.AddLog("COM1 Check OK");
    const std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(written, "接收:0,0,4000,2000\r\n接收:12\r\n34\r\n\nCOM1 Check OK\n");
    EXPECT_THAT(Log(), ElementsAre("接收:0,0,4000,2000", "接收:12  34", "COM1 Check OK"));
}

TEST_F(MainWindow, LogKeepsItsLastTenThousandLines) {
    TMainForm& form = Create();
    ::testing::internal::CaptureStderr();
    for (int i = 1; i <= kLogLineLimit + 50; ++i) {
        form.AddLog("line " + std::to_string(i));
    }
    ::testing::internal::GetCapturedStderr();
    const QTextDocument* log = form.Memo1->document();
    EXPECT_EQ(log->blockCount(), kLogLineLimit);
    EXPECT_EQ(log->firstBlock().text(), "line 51");
    EXPECT_EQ(log->lastBlock().text(), "line 10050");
}

// A line that babbles on loses its middle where the log shows it, saying how much, and
// the log as a whole stays bounded in size, oldest lines going first.
TEST_F(MainWindow, LogBoundsLongLinesAndItsSize) {
    TMainForm& form = Create();
    ::testing::internal::CaptureStderr();
    form.AddLog("接收:" + std::string(kLogLineCharLimit + 500, 'x') + " end");
    const std::string written = ::testing::internal::GetCapturedStderr();
    const std::string shown = "接收:" + std::string(kLogLineCharLimit - 203, 'x') +
                              " [507 characters not shown] " + std::string(196, 'x') + " end";
    EXPECT_THAT(Log(), ElementsAre(shown));
    EXPECT_EQ(written, shown + "\n");

    ::testing::internal::CaptureStderr();
    const int linesToFill = kLogCharLimit / kLogLineCharLimit + 10;
    for (int i = 0; i < linesToFill; ++i) {
        form.AddLog(std::to_string(i) + std::string(kLogLineCharLimit - 10, 'y'));
    }
    ::testing::internal::GetCapturedStderr();
    const QTextDocument* log = form.Memo1->document();
    EXPECT_LE(log->characterCount(), kLogCharLimit);
    EXPECT_GT(log->characterCount(), kLogCharLimit - 2 * kLogLineCharLimit);
    EXPECT_TRUE(log->lastBlock().text().startsWith(QString::number(linesToFill - 1)));
}

// The Chinese prefixes of an exchange's log lines have glyphs in the memo and in the log
// window also where no CJK font is installed (packaging.layout_without_cjk_font): the
// built-in caption face stands behind both.
using LogGlyphs = testsupport::TWindowTest;
TEST_F(LogGlyphs, EveryCharacterOfAnExchangeIsDrawableInTheLog) {
    Build();
    ::testing::internal::CaptureStderr();
    Form().BnPollSize->click();
    DeliverAll();
    TickUntilIdle();
    Form().actions().front()->trigger();
    ::testing::internal::GetCapturedStderr();
    ASSERT_THAT(Log(), ::testing::Contains(HasSubstr("OH;")));
    for (const QPlainTextEdit* log : {Form().Memo1, Form().LogWindow()->View}) {
        const QFontMetrics metrics(log->font());
        for (const char32_t character : log->toPlainText().remove('\n').toUcs4()) {
            EXPECT_TRUE(metrics.inFontUcs4(character))
                << std::hex << static_cast<unsigned>(character);
        }
    }
}

TEST_F(MainWindow, DecodedSettingsAreShownAndAnnounced) {
    TMainForm& form = Create();
    QSignalSpy changed(&form.Session(), &session::TCutterSession::SettingsChanged);
    ::testing::internal::CaptureStderr();
    testsupport::TSessionTestView(form.Session()).StageQuery(protocol::ccSettingsQuery);
    testsupport::TSessionTestView(form.Session())
        .StageReplyText("0,30,\xE9"
                        "12,250,5,1,0,2;");
    Tick(11);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(form.LaMediaWeight->text(), "Light");
    EXPECT_EQ(form.LaForce->text(), QString::fromUtf8("é12"));
    EXPECT_EQ(form.LaOffset->text(), "0.250 mm");
    EXPECT_EQ(form.LaMediaType->text(), "Roll");
    // Sized to the text, so nothing of it is cut off.
    EXPECT_GE(form.LaOffset->width(), form.LaOffset->sizeHint().width());
}

// The error box shows a field that does not convert as the log shows it: every byte of it,
// each as the character of its number, a zero byte included.
TEST_F(MainWindow, DecodeErrorBoxShowsTheFieldAsTheLogDoes) {
    TMainForm& form = Create();
    const std::string fields[] = {"8\xE9", std::string("1\0"
                                                       "2",
                                                       3)};
    ::testing::internal::CaptureStderr();
    for (const std::string& field : fields) {
        testsupport::TSessionTestView(form.Session()).StageQuery(protocol::ccPollSize);
        testsupport::TSessionTestView(form.Session()).StageReplyText("0,0," + field + ",50000\r");
        Tick(11);
    }
    ::testing::internal::GetCapturedStderr();
    const std::vector<std::string> errors = Prompts.TextsOf(TRecordingPrompts::pkException);
    ASSERT_EQ(errors.size(), 2U);
    for (std::size_t i = 0; i < 2; ++i) {
        const std::string logged = session::Latin1ToUtf8(fields[i]);
        EXPECT_EQ(CountLog(logged), 1);
        EXPECT_THAT(errors[i], HasSubstr("'" + logged + "'"));
    }
}

// The log window, from the context menu or Ctrl+L: the log as it stands, then each new
// line while it is open; closed, it is left alone and filled afresh when opened again.
TEST_F(MainWindow, LogWindowShowsTheLogLiveAndCopiesAndSavesIt) {
    TMainForm& form = Create();
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    ::testing::internal::CaptureStderr();
    form.AddLog("COM1 Check OK");
    ASSERT_EQ(form.contextMenuPolicy(), Qt::ActionsContextMenu);
    ASSERT_EQ(form.actions().size(), 1);
    EXPECT_EQ(form.actions().front()->text(), "&Log...");
    QTest::keyClick(&form, Qt::Key_L, Qt::ControlModifier);
    TLogWindow* logWindow = form.LogWindow();
    ASSERT_NE(logWindow, nullptr);
    EXPECT_TRUE(logWindow->isVisible());
    form.AddLog("發送命令:OH;");
    // A Poll Size reply, as the session logs it: the reply line once, then its fields.
    testsupport::TSessionTestView(form.Session()).StageQuery(protocol::ccPollSize);
    testsupport::TSessionTestView(form.Session()).StageReplyText("0,0,24000,50000\r");
    Tick(11);
    const std::string reply = "接收:0,0,24000,50000\n0\n0\n24000\n50000\nPort has not been opened!";
    EXPECT_EQ(logWindow->Text().toStdString(), "COM1 Check OK\n發送命令:OH;\n" + reply);

    logWindow->close();
    form.AddLog("Close COM1 OK");
    EXPECT_EQ(logWindow->Text().toStdString(), "COM1 Check OK\n發送命令:OH;\n" + reply);
    form.actions().front()->trigger();
    const std::string log = "COM1 Check OK\n發送命令:OH;\n" + reply + "\nClose COM1 OK";
    EXPECT_EQ(logWindow->Text().toStdString(), log);
    ::testing::internal::GetCapturedStderr();

    QTest::mouseClick(logWindow->BnCopy, Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(), logWindow->Text());

    QTemporaryDir folder;
    const QString path = folder.filePath("tessaro.log");
    logWindow->ChooseSaveFile = [&path] { return path; };
    QTest::mouseClick(logWindow->BnSave, Qt::LeftButton);
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().toStdString(), log + "\n");

    logWindow->ChooseSaveFile = [&folder] { return folder.filePath("missing/tessaro.log"); };
    QTest::mouseClick(logWindow->BnSave, Qt::LeftButton);
    EXPECT_THAT(Prompts.TextsOf(TRecordingPrompts::pkMessageBox),
                ElementsAre(HasSubstr("The log was not saved to ")));
    logWindow->ChooseSaveFile = [] { return QString(); };
    QTest::mouseClick(logWindow->BnSave, Qt::LeftButton);
    EXPECT_EQ(Prompts.Shown.size(), 1U);
}

TEST_F(MainWindow, ExitClosesTheWindow) {
    TMainForm& form = Create();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(form.BnExit, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(Prompts.TextsOf(TRecordingPrompts::pkMessageBox).empty());
}

// Counts showings instead of running a modal loop.
class TCountingDialog : public QDialog {
public:
    int exec() override {
        ++Shown;
        return QDialog::Accepted;
    }
    int Shown = 0;
};

class DialogButtons : public TMainFormTest,
                      public ::testing::WithParamInterface<QPushButton * TMainForm::*> {
protected:
    // Clicks the button with `portText` in the port list; the window's form.
    TMainForm& ClickWithPort(const std::string& portText) {
        TMainForm& form = Create();
        form.SetDialogs({[this] { return &FAbout; }, [this] { return &FScaling; }});
        SetPortText(portText);
        QTest::mouseClick(form.*GetParam(), Qt::LeftButton);
        return form;
    }
    // How often the button's own dialog was shown, and both.
    int OwnShown() const {
        return GetParam() == &TMainForm::BnAbout ? FAbout.Shown : FScaling.Shown;
    }
    int AllShown() const { return FAbout.Shown + FScaling.Shown; }

private:
    TCountingDialog FAbout;
    TCountingDialog FScaling;
};

TEST_P(DialogButtons, ShowTheirDialogModally) {
    ClickWithPort("COM1");
    EXPECT_EQ(AllShown(), 1);
    EXPECT_EQ(OwnShown(), 1);
    EXPECT_TRUE(Prompts.TextsOf(TRecordingPrompts::pkMessageBox).empty());
}

TEST_P(DialogButtons, RefuseAComPortWhileAUsbCutterIsAttached) {
    Usb.SetPresent(2, true);
    TMainForm& form = ClickWithPort("COM1");
    EXPECT_EQ(AllShown(), 0);
    EXPECT_THAT(Prompts.TextsOf(TRecordingPrompts::pkMessageBox),
                ElementsAre(session::kUsbCablePluggedText));
    EXPECT_TRUE(Usb.OpenHandles.empty());
    EXPECT_EQ(testsupport::TSessionTestView(form.Session()).UsbHandle(), 0);
}

TEST_P(DialogButtons, ShowTheirDialogForAUsbPortWithTheCutterAttached) {
    Usb.SetPresent(0, true);
    ClickWithPort("USB0");
    EXPECT_EQ(AllShown(), 1);
    EXPECT_TRUE(Prompts.TextsOf(TRecordingPrompts::pkMessageBox).empty());
}

INSTANTIATE_TEST_SUITE_P(AboutAndScaling, DialogButtons,
                         ::testing::Values(&TMainForm::BnAbout, &TMainForm::BnScaling));

} // namespace
} // namespace app::test
