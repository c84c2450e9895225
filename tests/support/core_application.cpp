// SPDX-License-Identifier: GPL-3.0-or-later
// The one application object of a test program without widgets: the session's timer and
// the serial link's event thread need an event loop, and nothing more.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <memory>

namespace testsupport {
namespace {

class TCoreEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "tessaro_tests";
        static char* argv[] = {name, nullptr};
        FApplication = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { FApplication.reset(); }

private:
    std::unique_ptr<QCoreApplication> FApplication;
};

[[maybe_unused]] ::testing::Environment* const kCoreEnvironment =
    ::testing::AddGlobalTestEnvironment(new TCoreEnvironment);

} // namespace
} // namespace testsupport
