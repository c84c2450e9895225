// SPDX-License-Identifier: GPL-3.0-or-later
// Prints, for each text given, the size of the message box the application shows with
// it: "WIDTH HEIGHT" on one line per text. X offers no way to read a box's text, but on
// one display with one toolkit each text gives its box its own size, so the end-to-end
// tests tell which text a box shows by its size.
// With --clipboard it prints the clipboard's text instead, where the tests copy a box's
// text to.

#include "toolkit/prompts.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc == 2 && QString::fromUtf8(argv[1]) == QStringLiteral("--clipboard")) {
        std::fputs(QApplication::clipboard()->text().toUtf8().constData(), stdout);
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        // Built as the application's prompts build their boxes.
        QMessageBox box(QMessageBox::Warning, QString::fromUtf8(toolkit::kApplicationTitle),
                        QString::fromUtf8(argv[i]), QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.show();
        QApplication::processEvents();
        std::printf("%d %d\n", box.width(), box.height());
        box.hide();
    }
    return 0;
}
