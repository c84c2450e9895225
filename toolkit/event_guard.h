// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "toolkit/prompts.h"

#include <functional>

namespace toolkit {

// Runs one event handler. An error that escapes it is shown in the standard error box and
// the application goes on: a handler that fails ends that handler, not the program.
// Errors never cross Qt's event loop: every slot, timer tick and serial event runs
// through this.
void RunGuarded(TPrompts& prompts, const std::function<void()>& handler);

} // namespace toolkit
