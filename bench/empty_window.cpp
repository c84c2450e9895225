// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up benchmark's yardsticks: a Qt 6 window of the main window's fixed size with
// nothing in it, and (built with BENCH_TEXT_WINDOW) the same window with one line of text.

#include <QApplication>
#include <QWidget>
#ifdef BENCH_TEXT_WINDOW
#include <QLabel>
#endif

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Empty"));
    window.setFixedSize(368, 288);
#ifdef BENCH_TEXT_WINDOW
    auto* label = new QLabel(QStringLiteral("Poll Size X"), &window);
    label->move(10, 10);
#endif
    window.show();
    return QApplication::exec();
}
