// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What tessaro-query history prints of the scale journal.

#include "cli/output_format.h"
#include "session/scale_journal.h"

#include <string>
#include <vector>

namespace cli {

// The entries oldest first, numbered from 1 as restore --entry takes them, only those of
// `port` (any case) when one is named: one line each (entry, time, port, model, before ->
// after, outcome), or one JSON object each.
std::string FormatHistory(const std::vector<session::TJournalEntry>& entries,
                          const std::string& port, TOutputStyle style);

// Whether the entry was written on this port (any case).
bool EntryOfPort(const session::TJournalEntry& entry, const std::string& port);

} // namespace cli
