// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>

#include <functional>

namespace app {

// The port list: an editable drop-down whose entries are rebuilt each time the operator
// opens it, so a cutter plugged in a moment ago is listed.
class TPortListBox : public QComboBox {
    Q_OBJECT

public:
    explicit TPortListBox(QWidget* parent = nullptr);

    // Runs before the list drops down.
    std::function<void()> OnDropDown;

    void showPopup() override;
};

} // namespace app
