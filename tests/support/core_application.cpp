// SPDX-License-Identifier: GPL-3.0-or-later
// The one application object of a test program without widgets.

#include "tests/support/application_environment.h"

#include <QCoreApplication>

namespace testsupport {
namespace {

[[maybe_unused]] ::testing::Environment* const kCoreEnvironment =
    ::testing::AddGlobalTestEnvironment(new TApplicationEnvironment<QCoreApplication>);

} // namespace
} // namespace testsupport
