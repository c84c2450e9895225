// The start-up benchmark's yardstick: a Qt 6 window of the main window's fixed size with
// nothing in it.

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Empty"));
    window.setFixedSize(368, 288);
    window.show();
    return QApplication::exec();
}
