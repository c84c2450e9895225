// SPDX-License-Identifier: GPL-3.0-or-later
// The port list: filled from the entries the session finds, and the operator's choice
// handed to the session, whose port name the list text always is.

#include "app/main_form.h"

#include <QComboBox>

namespace app {

// An empty text ends as the last port of the device map, without a check. A text the
// operator chose or typed stays: opening the list must never move the link to another
// device.
void TMainForm::BuildPortList() {
    const std::string text = PortText();
    const std::vector<session::TPortEntry> entries = FSession.PortEntries();
    ComboBox1->clear();
    SetPortText(text);
    for (const session::TPortEntry& entry : entries) {
        AddPortItem(entry.Name, entry.Tooltip());
        if (text.empty() && entry.FillsEmptyText) {
            SetPortText(entry.Name);
        }
    }
}

// Adding an item never changes the text: the toolkit would select the first item of an
// empty list.
void TMainForm::AddPortItem(const std::string& name, const std::string& devicePath) {
    const std::string text = PortText();
    ComboBox1->addItem(QString::fromStdString(name));
    if (!devicePath.empty()) {
        ComboBox1->setItemData(ComboBox1->count() - 1, QString::fromStdString(devicePath),
                               Qt::ToolTipRole);
    }
    SetPortText(text);
}

// Selects the item of that text, if any, so the list and the text agree and the toolkit
// finds nothing to select on its own when editing ends.
void TMainForm::SetPortText(const std::string& text) {
    const QString portText = QString::fromStdString(text);
    ComboBox1->setCurrentIndex(
        ComboBox1->findText(portText, Qt::MatchExactly | Qt::MatchCaseSensitive));
    ComboBox1->setEditText(portText);
}

void TMainForm::ComboBox1DropDown() {
    BuildPortList();
}

// The buttons stay as they are.
void TMainForm::ComboBox1Change() {
    FSession.SelectPort(PortText());
}

std::string TMainForm::PortText() const {
    return ComboBox1->currentText().toStdString();
}

} // namespace app
