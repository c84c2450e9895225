// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/main_window_probe.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QThread>

#include <algorithm>

namespace testsupport {

namespace {

constexpr int kEventLoopRounds = 2000;

} // namespace

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

int CountLines(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

int CountLinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&prefix](const auto& line) {
        return line.starts_with(prefix);
    }));
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

void AwaitReplyText(const app::TMainForm& form, std::size_t size) {
    for (int round = 0;
         round < kEventLoopRounds && form.Session().ExchangeState().FReplyText.size() < size;
         ++round) {
        QCoreApplication::processEvents();
        if (form.Session().ExchangeState().FReplyText.size() < size) {
            QThread::usleep(200);
        }
    }
}

void Paste(QLineEdit* edit, const std::string& text) {
    edit->selectAll();
    edit->insert(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

} // namespace testsupport
