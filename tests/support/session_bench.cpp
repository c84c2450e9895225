// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/session_bench.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

namespace testsupport {

TSessionBench::TSessionBench() {
    static int argc = 1;
    static char name[] = "session_bench";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        static QCoreApplication application(argc, argv);
    }
    Session.Timer1.SetEnabled(false);
    Session.SetPortName("COM1");
}

void TSessionBench::Tick(int count) {
    for (int tick = 0; tick < count; ++tick) {
        Session.Timer1Timer();
    }
}

void TSessionBench::Answer() {
    const std::size_t expected =
        Session.ExchangeState().FReplyText.size() + Serial.Line().DeliverAll();
    for (int round = 0; round < 5000 && Session.ExchangeState().FReplyText.size() < expected;
         ++round) {
        QCoreApplication::processEvents();
        QThread::usleep(200);
    }
    ASSERT_EQ(Session.ExchangeState().FReplyText.size(), expected);
    Tick(11);
}

void TSessionBench::RunOnItsOwn() {
    Serial.Line().SetImmediate(true);
    Session.Timer1.SetEnabled(true);
}

std::vector<std::string> TSessionBench::Commands() {
    std::vector<std::string> commands;
    for (const std::string& entry : Serial.Line().Transcript()) {
        if (entry.starts_with("< ")) {
            commands.push_back(entry.substr(2));
        }
    }
    return commands;
}

} // namespace testsupport
