#include "app/port_list_box.h"

namespace app {

TPortListBox::TPortListBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // Typed text is the operator's choice as typed: no completion, no entry added on Enter.
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    setDuplicatesEnabled(true);
}

void TPortListBox::showPopup() {
    if (OnDropDown) {
        OnDropDown();
    }
    QComboBox::showPopup();
}

} // namespace app
