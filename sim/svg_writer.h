// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sim/cutter_model.h"

#include <deque>
#include <string>

namespace sim {

// A drawing of the cuts in millimetres as they came out on the media (Y up, as the
// cutter counts), each closed shape labelled with its size.
std::string RenderCutsSvg(const std::deque<TCut>& cuts);

// Writes the drawing to `path` through a temporary file, so a reader never sees half of
// it; false with `error` set when it cannot be written.
bool WriteCutsSvg(const std::string& path, const std::deque<TCut>& cuts, std::string& error);

} // namespace sim
