// SPDX-License-Identifier: GPL-3.0-or-later
// Line events: their dispatch to the handlers, and the event thread's hand-off to the
// main thread, its end and its behaviour when waits fail.

#include "link/comm.h"
#include "link/comm_event_thread.h"
#include "tests/link/comm_test_support.h"
#include "tests/link/fake_serial_api.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace devlink::test {
namespace {

using namespace std::chrono_literals;
using fake::TFakeSerialApi;

// Waits without running the event loop, so nothing queued for the main thread runs.
bool WaitWithoutDispatching(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

void RunEventLoopFor(std::chrono::milliseconds period) {
    ProcessEventsUntil([] { return false; }, period);
}

int WaitsSoFar(TFakeSerialApi& api) {
    const auto waiter = api.Waiter();
    std::lock_guard lock(waiter->Mutex);
    return waiter->Waits;
}

class CommEvents : public ::testing::Test {
protected:
    void SetUp() override { CoreApplication(); }

    void OpenPort() {
        Comm.Open();
        ASSERT_TRUE(Comm.Enabled());
        ASSERT_TRUE(Api.AwaitWaits(1, 5s));
    }

    void* Self() { return static_cast<TThreadComm*>(&Comm); }

    void RecordEveryHandler() {
        const auto note = [this](const char* name) {
            return [this, name](void* sender) {
                Handled.push_back(name);
                EXPECT_EQ(sender, Self()) << name;
            };
        };
        Comm.OnBreak = note("Break");
        Comm.OnCts = note("Cts");
        Comm.OnDsr = note("Dsr");
        Comm.OnRing = note("Ring");
        Comm.OnRlsd = note("Rlsd");
        Comm.OnRxFlag = note("RxFlag");
        Comm.OnTxEmpty = note("TxEmpty");
        Comm.OnError = [this](void* sender, int errors) {
            Handled.push_back("Error:" + std::to_string(errors));
            EXPECT_EQ(sender, Self());
        };
        Comm.OnRxChar = [this](void* sender, std::uint32_t count) {
            Handled.push_back("RxChar:" + std::to_string(count));
            EXPECT_EQ(sender, Self());
        };
        Comm.OnComStatEvent = [this](void* sender, std::uint32_t status, TComStat stat) {
            Handled.push_back("ComStat:" + std::to_string(status) + ":" +
                              std::to_string(stat.cbInQue));
            EXPECT_EQ(sender, Self());
        };
    }

    TFakeSerialApi Api;
    TRecordingComm Comm{Api};
    std::vector<std::string> Handled;
};

// --- Dispatch --------------------------------------------------------------------------

TEST_F(CommEvents, HandlersRunInTheFixedOrderWithTheComponentAsSender) {
    OpenPort();
    RecordEveryHandler();
    Api.Receive("1234567");
    Api.SetLineErrors(kCeFrame | kCeOverrun);
    Comm.HandleCommEvent(nullptr, kEvAll);
    EXPECT_EQ(Handled,
              (std::vector<std::string>{"Break", "Cts", "Dsr", "Error:10", "Ring", "Rlsd",
                                        "RxChar:7", "RxFlag", "TxEmpty", "ComStat:511:7"}));
}

TEST_F(CommEvents, OnlyTheSetBitsRunTheirHandlersAndTheStatusEventRunsEveryTime) {
    OpenPort();
    RecordEveryHandler();
    Comm.HandleCommEvent(nullptr, kEvRing);
    Comm.HandleCommEvent(nullptr, 0);
    Comm.OnRlsd = nullptr;
    Comm.HandleCommEvent(nullptr, kEvRlsd);
    EXPECT_EQ(Handled,
              (std::vector<std::string>{"Ring", "ComStat:256:0", "ComStat:0:0", "ComStat:32:0"}));
}

TEST_F(CommEvents, NoRxCharForAnEmptyInputQueue) {
    OpenPort();
    RecordEveryHandler();
    Comm.HandleCommEvent(nullptr, kEvRxChar);
    EXPECT_EQ(Handled, (std::vector<std::string>{"ComStat:1:0"}));
}

TEST_F(CommEvents, WithoutADeviceStatusHandlersSeeNoErrorsAndNoBytes) {
    OpenPort();
    RecordEveryHandler();
    Api.Receive("abc");
    Api.SetLineErrors(kCeBreak);
    Api.Fail("ClearCommError");
    Comm.HandleCommEvent(nullptr, kEvErr | kEvRxChar);
    EXPECT_EQ(Handled, (std::vector<std::string>{"Error:0", "ComStat:129:0"}));
}

TEST_F(CommEvents, HandlerThatClosesThePortEndsTheDispatch) {
    OpenPort();
    RecordEveryHandler();
    Comm.OnCts = [this](void*) {
        Handled.push_back("Cts");
        Comm.Close();
    };
    Comm.HandleCommEvent(nullptr, kEvBreak | kEvCts | kEvDsr);
    EXPECT_EQ(Handled, (std::vector<std::string>{"Break", "Cts"}));
}

// --- The event thread ------------------------------------------------------------------

TEST_F(CommEvents, EventReachesTheHandlerOnTheMainThreadWithTheWaitingCount) {
    OpenPort();
    std::thread::id handlerThread;
    std::string received;
    Comm.OnRxChar = [&](void*, std::uint32_t count) {
        handlerThread = std::this_thread::get_id();
        std::string buffer(count, '\0');
        const int read = Comm.Read(buffer.data(), count);
        received += buffer.substr(0, read < 0 ? 0 : read);
    };
    Api.Receive("OH;");
    Api.RaiseEvents(kEvRxChar);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !received.empty(); }));
    EXPECT_EQ(received, "OH;");
    EXPECT_EQ(handlerThread, std::this_thread::get_id());
}

TEST_F(CommEvents, NextWaitStartsOnlyAfterTheDispatchHasRun) {
    OpenPort();
    std::vector<int> waitsDuringDispatch;
    Comm.OnComStatEvent = [&](void*, std::uint32_t, TComStat) {
        std::this_thread::sleep_for(20ms); // room for a thread that did not wait to go on
        waitsDuringDispatch.push_back(WaitsSoFar(Api));
    };
    Api.RaiseEvents(kEvCts);
    Api.RaiseEvents(kEvDsr);
    ASSERT_TRUE(ProcessEventsUntil([&] { return waitsDuringDispatch.size() == 2; }));
    EXPECT_EQ(waitsDuringDispatch, (std::vector<int>{1, 2}));
}

TEST_F(CommEvents, CloseWithAHandOffInFlightReturnsAtOnceAndNothingIsDispatched) {
    OpenPort();
    int dispatched = 0;
    Comm.OnComStatEvent = [&](void*, std::uint32_t, TComStat) { ++dispatched; };
    TCommEventThread* const thread = Comm.EventThread();
    Api.RaiseEvents(kEvRxChar);
    ASSERT_TRUE(WaitWithoutDispatching([&] { return thread->HandOffInFlight(); }));

    const auto started = std::chrono::steady_clock::now();
    Comm.Close();
    // A hang-detector, not a speed goal: a Close that waited for the main thread would
    // never return.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_TRUE(thread->Finished());
    EXPECT_FALSE(Comm.Enabled());

    RunEventLoopFor(100ms);
    EXPECT_EQ(dispatched, 0);
}

TEST_F(CommEvents, EventThreadPurgesTheDeviceBeforeTheHandleCloses) {
    OpenPort();
    Comm.Close();
    std::vector<std::string> tail;
    for (const auto& call : Api.Calls()) {
        if ((call.Operation == "PurgeComm" && call.Value == 0x0F) ||
            call.Operation == "CloseHandle") {
            tail.push_back(call.Operation);
        }
    }
    EXPECT_EQ(tail, (std::vector<std::string>{"PurgeComm", "CloseHandle"}));
}

TEST_F(CommEvents, ReopenedPortDispatchesOnlyItsOwnEvents) {
    OpenPort();
    std::vector<std::uint32_t> statuses;
    Comm.OnComStatEvent = [&](void*, std::uint32_t status, TComStat) {
        statuses.push_back(status);
    };
    Api.RaiseEvents(kEvRing);
    TCommEventThread* const first = Comm.EventThread();
    ASSERT_TRUE(WaitWithoutDispatching([&] { return first->HandOffInFlight(); }));
    Comm.Close();
    OpenPort();
    Api.RaiseEvents(kEvBreak);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !statuses.empty(); }));
    RunEventLoopFor(50ms);
    EXPECT_EQ(statuses, (std::vector<std::uint32_t>{kEvBreak}));
}

TEST_F(CommEvents, HandlerMayCloseThePortFromADispatch) {
    OpenPort();
    Comm.OnRxChar = [&](void*, std::uint32_t) { Comm.Close(); };
    TCommEventThread* const thread = Comm.EventThread();
    Api.Receive("x");
    Api.RaiseEvents(kEvRxChar);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !Comm.Enabled(); }));
    EXPECT_TRUE(thread->Finished());
}

TEST_F(CommEvents, HandlerMayCloseAndReopenThePortFromADispatch) {
    OpenPort();
    int reopened = 0;
    int events = 0;
    Comm.OnComStatEvent = [&](void*, std::uint32_t, TComStat) { ++events; };
    Comm.OnRxChar = [&](void*, std::uint32_t) {
        if (reopened++ == 0) {
            Comm.Close();
            Comm.Open();
        }
    };
    Api.Receive("x");
    Api.RaiseEvents(kEvRxChar);
    ASSERT_TRUE(ProcessEventsUntil([&] { return reopened == 1 && Api.WaitersMade() == 2; }));
    ASSERT_TRUE(Api.AwaitWaits(1, 5s));
    Api.RaiseEvents(kEvCts);
    ASSERT_TRUE(ProcessEventsUntil([&] { return events == 1; }));
    EXPECT_TRUE(Comm.Enabled());
}

TEST_F(CommEvents, HandlerErrorEndsTheThreadAndLeavesThePortOpen) {
    OpenPort();
    int calls = 0;
    Comm.OnRxChar = [&](void*, std::uint32_t) {
        ++calls;
        throw std::runtime_error("handler failed");
    };
    TCommEventThread* const thread = Comm.EventThread();
    Api.Receive("x");
    Api.RaiseEvents(kEvRxChar);
    ASSERT_TRUE(ProcessEventsUntil([&] { return thread->Finished(); }));
    EXPECT_TRUE(Comm.Enabled());
    EXPECT_EQ(Api.CallsOf("PurgeComm").back().Value, 0x0Fu);

    Api.RaiseEvents(kEvRxChar);
    RunEventLoopFor(50ms);
    EXPECT_EQ(calls, 1);

    const THandle handle = Api.LastHandle();
    Comm.Close();
    EXPECT_FALSE(Comm.Enabled());
    EXPECT_FALSE(Api.HandleOpen(handle));
}

class CommFailingWaits : public CommEvents, public ::testing::WithParamInterface<TWaitResult> {};

TEST_P(CommFailingWaits, AreRetriedWithPausesNotInABusyLoop) {
    Api.SetWaitOutcome(GetParam());
    OpenPort();
    std::this_thread::sleep_for(300ms);
    // A thread retrying at once would have waited hundreds of thousands of times.
    EXPECT_LE(WaitsSoFar(Api), 20);
    {
        const auto waiter = Api.Waiter();
        std::lock_guard lock(waiter->Mutex);
        ASSERT_FALSE(waiter->Pauses.empty());
        for (std::uint32_t pause : waiter->Pauses) {
            EXPECT_GE(pause, 50u);
        }
    }

    // The thread keeps trying: once the device answers again, events flow.
    int dispatched = 0;
    Comm.OnComStatEvent = [&](void*, std::uint32_t, TComStat) { ++dispatched; };
    Api.SetWaitOutcome(std::nullopt);
    Api.RaiseEvents(kEvCts);
    ASSERT_TRUE(ProcessEventsUntil([&] { return dispatched == 1; }));

    Comm.Close();
    EXPECT_TRUE(Comm.EventThread()->Finished());
}

INSTANTIATE_TEST_SUITE_P(All, CommFailingWaits,
                         ::testing::Values(TWaitResult::wrFailed, TWaitResult::wrHungUp),
                         [](const auto& info) {
                             return info.param == TWaitResult::wrFailed ? "Failed" : "HungUp";
                         });

} // namespace
} // namespace devlink::test
