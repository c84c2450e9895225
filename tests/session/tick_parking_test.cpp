// SPDX-License-Identifier: GPL-3.0-or-later
// Timer1 parked while no query is outstanding. Here the session keeps its own timer (the
// bench's hand-driven clock is given back to it), so every exchange below is carried by
// real ticks: a sender whose ticks did not resume would never see its reply decoded.

#include "tests/session/session_test_support.h"

#include <QtCore/qtestsupport_core.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace session::test {
namespace {

// Bounds each wait for real ticks: an exchange needs about a dozen 16 ms ticks, a
// sanitizer build on a busy machine may need far longer, and a broken parking never ends.
constexpr int kWaitLimitMs = 10000;
// Long enough for several ticks to come if the timer were still running.
constexpr int kSeveralTicksMs = 6 * toolkit::kSystemTimerResolution;

class TTickParkingTest : public TPollTest {
protected:
    // Builds the session over the bench and lets its own timer run.
    void BuildTicking(const TBench& bench = {}) {
        Build(bench);
        StartTicking();
    }

    static bool WaitUntil(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, kWaitLimitMs);
    }

    // Whether ticks stopped coming: none during a span that would hold several.
    bool NoTicksFor(int milliseconds) {
        const int before = TicksDelivered();
        QTest::qWait(milliseconds);
        return TicksDelivered() == before;
    }
};

TEST_F(TTickParkingTest, AnIdleWindowParksAtItsFirstTickAndGetsNoMore) {
    BuildTicking();
    EXPECT_EQ(TicksDelivered(), 1);
    EXPECT_TRUE(NoTicksFor(kSeveralTicksMs));
    EXPECT_THAT(Log(), ::testing::IsEmpty());
}

// A query sender, and what shows that its reply was decoded.
struct TSender {
    const char* Name;
    TSessionAction Send;
    bool (*Decoded)(const TCutterSession& session);
};

const TSender kQuerySenders[] = {
    {"PollSize", &On<&TCutterSession::PollSize>,
     [](const TCutterSession& session) { return session.Settings().PollSizeY == "1250 mm"; }},
    {"FirmwareQuery", &On<&TCutterSession::SendFirmwareQuery>,
     [](const TCutterSession& session) { return session.Settings().FirmwareModel == "TC-60"; }},
    {"ScaleQuery", &On<&TCutterSession::SendScaleQuery>,
     [](const TCutterSession& session) { return session.ScaleRepliesDecoded() == 1; }},
};

class TSenderExchangeTest : public TTickParkingTest,
                            public ::testing::WithParamInterface<std::tuple<TSender, const char*>> {
};

TEST_P(TSenderExchangeTest, TicksResumeForTheReplyAndParkOnceItIsDecoded) {
    const auto& [sender, port] = GetParam();
    BuildTicking(OnLink(port));

    sender.Send(Session());
    EXPECT_FALSE(Parked());
    DeliverAll();
    EXPECT_TRUE(WaitUntil([&] { return sender.Decoded(Session()); })) << "the reply never decoded";
    EXPECT_FALSE(View().QueryOutstanding());
    EXPECT_TRUE(WaitUntil([this] { return Parked(); }));
    EXPECT_TRUE(NoTicksFor(kSeveralTicksMs));
    EXPECT_THAT(Reported(), ::testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(EachQuerySenderOnEachLink, TSenderExchangeTest,
                         ::testing::Combine(::testing::ValuesIn(kQuerySenders),
                                            ::testing::Values(kSerialPort, kUsbPort)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).Name) + "On" +
                                    std::get<1>(info.param);
                         });

TEST_F(TTickParkingTest, SilentCutterIsStillGivenUpAfterElevenTicksAndTheTimerParks) {
    BuildTicking(OnLink(kSerialPort, SilentCutter()));

    Session().PollSize();
    EXPECT_FALSE(Parked());
    ASSERT_TRUE(WaitUntil([this] { return !Silences.empty(); }));
    EXPECT_EQ(Silences, std::vector<std::string>{kDeviceNotFoundText});
    EXPECT_EQ(View().Asked(protocol::ccPollSize), 0);
    EXPECT_TRUE(WaitUntil([this] { return Parked(); }));
    // The first tick parked the idle session; eleven silent ones gave up; one more parked.
    EXPECT_EQ(TicksDelivered(), 1 + 11 + 1);
}

// The sender's flag stays set when the link cannot be made ready, so the ticks must
// resume before the sequence stops: they bring the silence that tells the operator.
TEST_F(TTickParkingTest, QueryOnAMissingUsbDeviceStillEndsInTheSilenceBox) {
    TBench bench;
    bench.PortText = kUsbPort;
    BuildTicking(bench);

    Session().SendFirmwareQuery();
    ASSERT_EQ(CountLog(kDeviceNotFoundText), 1);
    EXPECT_TRUE(WaitUntil([this] { return !Silences.empty(); }));
    EXPECT_EQ(Silences, std::vector<std::string>{kDeviceNotFoundText});
    EXPECT_TRUE(WaitUntil([this] { return Parked(); }));
}

TEST_F(TTickParkingTest, LoopDetectKeepsTheTimerRunningUntilDisDetectParksIt) {
    BuildTicking();
    Session().StartMonitor();
    DeliverAll();
    ASSERT_TRUE(WaitUntil([this] { return !Session().Settings().Force.empty(); }));
    const int ticksAfterReply = TicksDelivered();
    EXPECT_TRUE(WaitUntil([&] { return TicksDelivered() > ticksAfterReply + 2; }))
        << "the monitor must keep ticking between replies";

    Session().StopMonitor();
    EXPECT_TRUE(WaitUntil([this] { return Parked(); }));
    EXPECT_TRUE(NoTicksFor(kSeveralTicksMs));
    EXPECT_THAT(Reported(), ::testing::IsEmpty());
}

TEST_F(TTickParkingTest, PortChangeAbandonsTheQueryAndParksTheTimerWithoutABox) {
    BuildTicking();
    Session().PollSize();
    EXPECT_FALSE(Parked());

    ChoosePort(kSerialPort);
    EXPECT_TRUE(WaitUntil([this] { return Parked(); }));
    EXPECT_TRUE(NoTicksFor(kSeveralTicksMs));
    EXPECT_THAT(Reported(), ::testing::IsEmpty());
    EXPECT_EQ(CountLogStartingWith("接收:"), 0);
}

// A timer stopped from outside is not the session's to start: a test that ticks by hand
// stays the only clock.
TEST_F(TTickParkingTest, ATimerStoppedFromOutsideStaysStoppedWhenASenderSetsAFlag) {
    Build();
    View().Timer1().SetEnabled(false);
    View().Tick();
    Session().PollSize();
    EXPECT_FALSE(View().Timer1().Enabled());
}

} // namespace
} // namespace session::test
