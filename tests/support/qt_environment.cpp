// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/qt_environment.h"

#include "tests/support/application_environment.h"

#include <QApplication>

namespace testsupport {

::testing::Environment* AddQtEnvironment() {
    return ::testing::AddGlobalTestEnvironment(new TApplicationEnvironment<QApplication>);
}

} // namespace testsupport
