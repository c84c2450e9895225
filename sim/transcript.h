// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sim/cutter_event.h"

#include <string>
#include <string_view>

namespace sim {

// The bytes with every control or non-ASCII byte made visible: ESC as "<ESC>", carriage
// return as "<CR>", line feed as "<LF>", any other as "<0xHH>".
std::string VisibleBytes(std::string_view bytes);

// One transcript line for the event, without the line end: "< " a command received,
// "> " a reply sent, "* " a cut or flash write, "? " ignored input, "- " the line.
std::string FormatEvent(const TCutterEvent& event);

} // namespace sim
