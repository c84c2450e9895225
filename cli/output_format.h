// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What tessaro-query prints: the values the panel (and About) shows, one "Caption: value"
// line each, or one compact JSON object per line with numbers as numbers. Texts from the
// cutter are 8-bit characters; they are written as UTF-8.

#include "cli/command_line.h"
#include "protocol/cutter_settings.h"
#include "session/cutter_session.h"

#include <string>
#include <vector>

namespace cli {

enum TOutputStyle : bool { osText = false, osJson = true };

// The values one query (size, settings, firmware or scale) read, every line ended.
std::string FormatReply(TQueryCommand command, const protocol::CutterSettings& settings,
                        const std::string& port, TOutputStyle style);
// The settings on one line: the captions' lines joined with "; ", or one JSON object.
std::string FormatMonitorLine(const protocol::CutterSettings& settings, const std::string& port,
                              TOutputStyle style);
// One line per port list entry (name, device path, USB device ID), or one JSON object.
std::string FormatPorts(const std::vector<session::TPortEntry>& entries, TOutputStyle style);

} // namespace cli
