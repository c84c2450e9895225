// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/log_window.h"

#include "app/main_form.h"
#include "app/window_look.h"
#include "toolkit/event_guard.h"
#include "toolkit/prompts.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>

namespace app {

namespace {

constexpr QSize kDefaultSize{640, 400};
constexpr qsizetype kLogLineTailChars = 200;

void RemoveFirstBlock(QTextDocument& document) {
    QTextCursor cursor(document.firstBlock());
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

QString AskForSaveFile(QWidget* owner) {
    return QFileDialog::getSaveFileName(owner, QStringLiteral("Save the log"),
                                        QDir::home().filePath(QStringLiteral("tessaro.log")),
                                        QStringLiteral("Log files (*.log *.txt);;All files (*)"));
}

bool BreaksLine(QChar character) {
    return character == QLatin1Char('\r') || character == QLatin1Char('\n') ||
           character == QChar::ParagraphSeparator || character == QChar::LineSeparator;
}

// A reply is logged with the carriage return (or CR LF) that ended it, and noise can hold
// more. A text view breaks the line at each, where standard error shows one line: the end
// goes, any other break shows as a space.
QString OneLineText(const QString& line) {
    qsizetype end = line.size();
    while (end > 0 && BreaksLine(line.at(end - 1))) {
        --end;
    }
    QString text = line.left(end);
    std::replace_if(text.begin(), text.end(), BreaksLine, QLatin1Char(' '));
    return text;
}

} // namespace

// The document counts its characters as it goes, so the bound costs no scan per line.
void AppendBoundedLine(QPlainTextEdit& view, const QString& line) {
    view.appendPlainText(line);
    QTextDocument& document = *view.document();
    while (document.characterCount() > kLogCharLimit && document.blockCount() > 1) {
        RemoveFirstBlock(document);
    }
}

// The head and the tail stay: a line ends in what happened ("... Check Fail").
QString LogLineText(const QString& logged) {
    const QString line = OneLineText(logged);
    if (line.size() <= kLogLineCharLimit) {
        return line;
    }
    qsizetype head = kLogLineCharLimit - kLogLineTailChars;
    qsizetype tail = kLogLineTailChars;
    // Never half a character outside the basic plane.
    if (line.at(head - 1).isHighSurrogate()) {
        --head;
    }
    if (line.at(line.size() - tail).isLowSurrogate()) {
        --tail;
    }
    return line.left(head) +
           QStringLiteral(" [%1 characters not shown] ").arg(line.size() - head - tail) +
           line.right(tail);
}

TLogWindow::TLogWindow(QWidget& owner, toolkit::TPrompts& prompts)
    : QWidget(&owner, Qt::Window), FPrompts(prompts) {
    setObjectName(QStringLiteral("LogWindow"));
    setWindowTitle(QStringLiteral("Tessaro log"));
    BuildControls();
    resize(kDefaultSize);
    ChooseSaveFile = [this] { return AskForSaveFile(this); };
}

void TLogWindow::BuildControls() {
    View = new QPlainTextEdit(this);
    View->setReadOnly(true);
    View->setLineWrapMode(QPlainTextEdit::NoWrap);
    View->setMaximumBlockCount(kLogLineLimit);
    View->setFont(WithCaptionFaceFallback(QFontDatabase::systemFont(QFontDatabase::FixedFont)));
    BnCopy = new QPushButton(QStringLiteral("&Copy all"), this);
    BnSave = new QPushButton(QStringLiteral("&Save..."), this);
    BnClose = new QPushButton(QStringLiteral("Close"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BnCopy);
    buttons->addWidget(BnSave);
    buttons->addStretch();
    buttons->addWidget(BnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(View);
    layout->addLayout(buttons);
    connect(BnCopy, &QPushButton::clicked, this,
            [this] { toolkit::RunGuarded(FPrompts, [this] { BnCopyClick(); }); });
    connect(BnSave, &QPushButton::clicked, this,
            [this] { toolkit::RunGuarded(FPrompts, [this] { BnSaveClick(); }); });
    connect(BnClose, &QPushButton::clicked, this, &QWidget::close);
}

void TLogWindow::ShowLog(const QString& lines) {
    View->setPlainText(lines);
    View->moveCursor(QTextCursor::End);
}

void TLogWindow::AppendLine(const QString& line) {
    AppendBoundedLine(*View, line);
}

QString TLogWindow::Text() const {
    return View->toPlainText();
}

void TLogWindow::BnCopyClick() {
    QApplication::clipboard()->setText(Text());
}

// Written whole or not at all: a failed save leaves an earlier file as it was.
void TLogWindow::BnSaveClick() {
    const QString path = ChooseSaveFile ? ChooseSaveFile() : QString();
    if (path.isEmpty()) {
        return;
    }
    QSaveFile file(path);
    const QByteArray text = (Text() + QLatin1Char('\n')).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        FPrompts.MessageBox("The log was not saved to " + path.toStdString() + ": " +
                            file.errorString().toStdString());
    }
}

} // namespace app
