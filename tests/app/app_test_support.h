// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window bench as the fixtures of the main window's tests: over the scripted fakes
// (app::test), or beside the virtual cutter and driven tick by tick (app::polltest).

#include "tests/support/window_bench.h"

#include <gmock/gmock.h>

namespace app::test {

using testsupport::TRecordingPrompts;

// The window over the fakes; sources are set up before Create().
class TMainFormTest : public testsupport::TWindowTest {
protected:
    TMainForm& Create() { return BuildOverFakes(); }
};

} // namespace app::test

namespace app::polltest {

using testsupport::kSerialPort;
using testsupport::kUsbPort;
using testsupport::OnLink;
using testsupport::PanelTexts;
using testsupport::SilentCutter;
using testsupport::TBench;
using testsupport::TRecordingPrompts;
using TPollTest = testsupport::TWindowTest;

} // namespace app::polltest
