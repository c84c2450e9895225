// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window bench on one link, whose cable can be pulled and plugged in again. Also what
// the process holds (descriptors, memory), measured from outside the code under test.

#include "sim/reply_plan.h"
#include "tests/support/window_bench.h"

#include <cstddef>
#include <string>

namespace hardening::test {

using testsupport::kSerialPort;
using testsupport::kUsbPort;
using testsupport::TRecordingPrompts;

// The window over a virtual cutter reachable as COM1 or as USB0 (one at a time, as the
// port list text chooses). The session's own timer is stopped: Tick() is the clock.
class TFaultBench : public testsupport::TWindowBench {
public:
    explicit TFaultBench(const std::string& portText, const sim::TFaults& faults = {});
};

// What this process holds, read from /proc.
std::size_t OpenDescriptorCount();
std::size_t ResidentKib();
// Bytes allocated and not yet freed (the sanitizer's count in a sanitized build).
std::size_t LiveHeapBytes();

// The folder of the source tree this test was built from.
std::string SourceDir();

} // namespace hardening::test
