// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The session bench as the fixtures of the exchange tests: beside the virtual cutter and
// driven tick by tick, or over the scripted fakes.

#include "tests/support/session_bench.h"

#include <gmock/gmock.h>

namespace session::test {

// What a test does as the panel or the wizard would: one of the session's senders.
using TSessionAction = void (*)(TCutterSession&);

template <auto Member>
void On(TCutterSession& session) {
    (session.*Member)();
}

using testsupport::kSerialPort;
using testsupport::kUsbPort;
using testsupport::OnLink;
using testsupport::SilentCutter;
using testsupport::TBench;
using TPollTest = testsupport::TSessionTest;

} // namespace session::test
