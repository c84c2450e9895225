// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/main_window_probe.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBlock>

namespace testsupport {

std::vector<std::string> LogLines(const app::TMainForm& form) {
    std::vector<std::string> lines;
    const QTextDocument* log = form.Memo1->document();
    for (QTextBlock block = log->begin(); block.isValid(); block = block.next()) {
        lines.push_back(block.text().toStdString());
    }
    if (!lines.empty() && lines.front() == "Memo1") {
        lines.erase(lines.begin());
    }
    return lines;
}

std::vector<std::string> PanelTexts(const app::TMainForm& form) {
    std::vector<std::string> texts;
    for (const QLabel* label :
         {form.LaPollSizeX, form.LaPollSizeY, form.LaForce, form.LaOffset, form.LaMediaWeight,
          form.LaQuality, form.LaSmooth, form.LaAutoUnroll, form.LaMediaType}) {
        texts.push_back(label->text().toStdString());
    }
    return texts;
}

void Paste(QLineEdit* edit, const std::string& text) {
    edit->selectAll();
    edit->insert(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

} // namespace testsupport
