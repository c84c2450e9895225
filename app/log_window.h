// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The log window: the program's log for the operator to read, copy or save while the
// main window keeps working. It is filled when shown and kept current only while shown.

#include <QWidget>

#include <functional>

class QPlainTextEdit;
class QPushButton;

namespace toolkit {
class TPrompts;
}

namespace app {

// Appends one line to a log view and keeps the view within the log's bounds: the lines
// beyond the line limit (the view's own block limit) and, oldest first, those beyond the
// character limit go.
void AppendBoundedLine(QPlainTextEdit& view, const QString& line);

// A line as the log shows it: on one line, without the line end a reply came with; a line
// beyond the line limit loses its middle, replaced by the count of characters cut.
QString LogLineText(const QString& logged);

class TLogWindow : public QWidget {
    Q_OBJECT

public:
    TLogWindow(QWidget& owner, toolkit::TPrompts& prompts);

    // Replaces what the window shows with these lines (one a line).
    void ShowLog(const QString& lines);
    void AppendLine(const QString& line);
    QString Text() const;

    QPlainTextEdit* View = nullptr;
    QPushButton* BnCopy = nullptr;
    QPushButton* BnSave = nullptr;
    QPushButton* BnClose = nullptr;

    // Asks the operator for the file to save to; empty when cancelled. A save dialog unless
    // replaced.
    std::function<QString()> ChooseSaveFile;

    void BnCopyClick();
    void BnSaveClick();

private:
    void BuildControls();

    toolkit::TPrompts& FPrompts;
};

} // namespace app
