#include "app/port_list_box.h"

#include <QLineEdit>

namespace app {

TPortListBox::TPortListBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // Typed text is the operator's choice as typed: no completion, no entry added on Enter.
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    setDuplicatesEnabled(true);
    // A typed text that names an item selects it, so that ending the edit (Enter, focus
    // leaving) finds the list agreeing with the text and does not choose it once more.
    connect(lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        const int index = findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index >= 0) {
            setCurrentIndex(index);
        }
    });
}

void TPortListBox::showPopup() {
    if (OnDropDown) {
        OnDropDown();
    }
    QComboBox::showPopup();
}

} // namespace app
