#include "toolkit/qt_prompts.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QWidget>

namespace toolkit {

namespace {

// Plain text, so a message holding '<' from a cutter reply is shown as it is.
void ShowBox(QWidget* owner, QMessageBox::Icon icon, const std::string& text) {
    QMessageBox box(icon, QString::fromUtf8(kApplicationTitle),
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

} // namespace

void TQtPrompts::SetMainWindow(QWidget* mainWindow) {
    FMainWindow = mainWindow;
}

QWidget* TQtPrompts::Owner() const {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    if (QWidget* active = QApplication::activeWindow()) {
        return active;
    }
    return FMainWindow.data();
}

void TQtPrompts::MessageBox(const std::string& text) {
    ShowBox(Owner(), QMessageBox::Warning, text);
}

void TQtPrompts::ShowMessage(const std::string& text) {
    ShowBox(Owner(), QMessageBox::NoIcon, text);
}

void TQtPrompts::ShowException(const std::string& message) {
    ShowBox(Owner(), QMessageBox::Critical, message);
}

} // namespace toolkit
