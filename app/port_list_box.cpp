// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/port_list_box.h"

#include <QItemDelegate>
#include <QLineEdit>

namespace app {

namespace {

// Rows of the drop-down list, whatever height the style would give them: the list opens
// as compact as the rest of the panel.
constexpr int kItemHeight = 16;

// Rows as the toolkit's list delegate paints them, each kItemHeight high.
class TFixedHeightDelegate : public QItemDelegate {
public:
    using QItemDelegate::QItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QItemDelegate::sizeHint(option, index).width(), kItemHeight};
    }
};

} // namespace

TPortListBox::TPortListBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // Typed text is the operator's choice as typed: no completion, no entry added on Enter.
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    setDuplicatesEnabled(true);
    setItemDelegate(new TFixedHeightDelegate(this));
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
