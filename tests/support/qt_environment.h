// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

namespace testsupport {

// Registers one application object for the whole test program, as the widgets need. The
// window bench registers it for every program built on it; any other test program calls
// it once from a namespace-scope initializer of its own sources.
::testing::Environment* AddQtEnvironment();

} // namespace testsupport
