// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/link/comm_test_support.h"

#include <QCoreApplication>

#include <thread>

namespace devlink::test {

QCoreApplication& CoreApplication() {
    static int argc = 1;
    static char name[] = "link_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    return application;
}

bool ProcessEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    CoreApplication();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace devlink::test
