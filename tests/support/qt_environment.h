// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

namespace testsupport {

// Registers one application object for the whole test program, as the widgets need. A
// test program calls it once from a namespace-scope initializer of its own sources (a
// registration left in this library alone would not be linked in).
::testing::Environment* AddQtEnvironment();

} // namespace testsupport
