#pragma once

#include <cstdint>

namespace bench {

// How many times the global operator new has run in this program so far.
std::uint64_t AllocationCount();

} // namespace bench
