// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <memory>

namespace testsupport {

// One application object (QCoreApplication or QApplication) for a whole test program: the
// session's timer and the serial link's event thread need its event loop, widgets need it.
template <typename TApplication>
class TApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "tessaro_tests";
        static char* argv[] = {name, nullptr};
        FApplication = std::make_unique<TApplication>(argc, argv);
    }
    void TearDown() override { FApplication.reset(); }

private:
    std::unique_ptr<TApplication> FApplication;
};

} // namespace testsupport
