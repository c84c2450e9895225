// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a test reads off the main window: its log and its panel; and a paste into one of
// its fields.

#include "app/main_form.h"

#include <QLineEdit>

#include <string>
#include <vector>

namespace testsupport {

// The log lines added since the window was built ("Memo1" left out).
std::vector<std::string> LogLines(const app::TMainForm& form);

// The nine panel values as the labels show them.
std::vector<std::string> PanelTexts(const app::TMainForm& form);

// The text replaces the field's as one edit of the operator (a paste).
void Paste(QLineEdit* edit, const std::string& text);

} // namespace testsupport
