// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a test reads off the main window: its log, its panel, and the reply bytes the
// event thread hands it; and a paste into one of its fields.

#include "app/main_form.h"

#include <QLineEdit>

#include <cstddef>
#include <string>
#include <vector>

namespace testsupport {

// The log lines added since the window was built ("Memo1" left out).
std::vector<std::string> LogLines(const app::TMainForm& form);
int CountLines(const std::vector<std::string>& lines, const std::string& line);
int CountLinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix);

// The nine panel values as the labels show them.
std::vector<std::string> PanelTexts(const app::TMainForm& form);

// Lets the serial link's event thread hand its events to the window and the window read
// the bytes, until the window holds `size` reply bytes. Bounded: a hand-off takes
// microseconds, so running out means the bytes were never handed over.
void AwaitReplyText(const app::TMainForm& form, std::size_t size);

// The text replaces the field's as one edit of the operator (a paste).
void Paste(QLineEdit* edit, const std::string& text);

} // namespace testsupport
