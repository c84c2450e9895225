#include "toolkit/qt_prompts.h"

#include <QMessageBox>
#include <QString>

namespace toolkit {

namespace {

// Plain text, so a message holding '<' from a cutter reply is shown as it is.
void ShowBox(QWidget* parent, QMessageBox::Icon icon, const std::string& text) {
    QMessageBox box(icon, QString::fromUtf8(kApplicationTitle), QString::fromStdString(text),
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

void TQtPrompts::MessageBox(const std::string& text) {
    ShowBox(FParent, QMessageBox::Warning, text);
}

void TQtPrompts::ShowMessage(const std::string& text) {
    ShowBox(FParent, QMessageBox::NoIcon, text);
}

void TQtPrompts::ShowException(const std::string& message) {
    ShowBox(FParent, QMessageBox::Critical, message);
}

} // namespace toolkit
