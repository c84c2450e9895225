// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace bench {

// How many times the global operator new has run in this program so far.
std::uint64_t AllocationCount();

} // namespace bench
