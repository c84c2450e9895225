// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/qt_environment.h"

#include <QApplication>

#include <memory>

namespace testsupport {

namespace {

class TQtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "tessaro_tests";
        static char* argv[] = {name, nullptr};
        FApplication = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { FApplication.reset(); }

private:
    std::unique_ptr<QApplication> FApplication;
};

} // namespace

::testing::Environment* AddQtEnvironment() {
    return ::testing::AddGlobalTestEnvironment(new TQtEnvironment);
}

} // namespace testsupport
