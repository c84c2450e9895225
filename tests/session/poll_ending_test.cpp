// SPDX-License-Identifier: GPL-3.0-or-later
// How exchanges end on a reply that does not decode: it still ends its query once, and
// the refusal names the field; a reply cut short or a flood is never taken whole.

#include "tests/session/session_test_support.h"

#include <functional>

namespace session::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

using testsupport::ScriptedComPort;

struct TMalformedCase {
    const char* Name;
    TSessionAction Send;
    protocol::TCommandCode Code;
    const char* Reply;
    const char* FailingField; // null: the decoder converts nothing and cannot fail
    // The settings or scale values after the reply: those before the bad field are set.
    std::function<void(const TCutterSession&)> CheckValues;
};

const TMalformedCase kMalformedReplies[] = {
    {"PollSize", &On<&TCutterSession::PollSize>, protocol::ccPollSize, "0,0,24000,12x\r", "12x",
     [](const TCutterSession& cutterSession) {
         EXPECT_EQ(cutterSession.Settings().PollSizeX, "600 mm");
         EXPECT_THAT(cutterSession.Settings().PollSizeY, IsEmpty());
     }},
    {"Settings", &On<&TCutterSession::StartMonitor>, protocol::ccSettingsQuery,
     "0,30,80,2.5.0,5,1,0,2\r", "2.5.0",
     [](const TCutterSession& cutterSession) {
         EXPECT_EQ(cutterSession.Settings().Force, "80");
         EXPECT_THAT(cutterSession.Settings().Offset, IsEmpty());
         EXPECT_EQ(cutterSession.Settings().MediaWeight, "Light");
         EXPECT_THAT(cutterSession.Settings().Quality, IsEmpty());
     }},
    {"Firmware", &On<&TCutterSession::SendFirmwareQuery>, protocol::ccFirmwareQuery,
     "\x7f\x80\xfe garbage", nullptr,
     [](const TCutterSession& cutterSession) {
         EXPECT_THAT(cutterSession.Settings().FirmwareModel, IsEmpty());
     }},
    {"Scale", &On<&TCutterSession::SendScaleQuery>, protocol::ccScaleQuery, "0,1010,99z\r", "99z",
     [](const TCutterSession& cutterSession) {
         // Not a reading: nothing of it is taken, not even the field before the bad one.
         EXPECT_EQ(cutterSession.Settings().ScaleX, 0);
         EXPECT_EQ(cutterSession.Settings().ScaleY, 0);
         EXPECT_EQ(cutterSession.ScaleRepliesDecoded(), 0);
     }},
};

class TMalformedReplyTest : public TPollTest,
                            public ::testing::WithParamInterface<TMalformedCase> {};

TEST_P(TMalformedReplyTest, EndsTheExchangeOnceAndThenNamesTheField) {
    const TMalformedCase& test = GetParam();
    const bool monitor = test.Code == protocol::ccSettingsQuery;
    Build(ScriptedComPort());
    test.Send(Session());
    ArriveOnSerial(test.Reply);
    Tick(11);
    Tick(40);

    EXPECT_EQ(CountLogStartingWith("接收:"), 1);
    EXPECT_THAT(View().ReplyText(), IsEmpty());
    EXPECT_EQ(View().SettleTicks(test.Code), 0);
    EXPECT_EQ(View().Asked(test.Code), monitor ? 1 : 0);
    EXPECT_EQ(SerialPortOpen(), monitor);
    test.CheckValues(Session());
    if (test.FailingField != nullptr) {
        EXPECT_THAT(Refusals, ElementsAre(HasSubstr(test.FailingField)));
    } else {
        EXPECT_THAT(Reported(), IsEmpty());
    }
    const bool scaleQuery = test.Code == protocol::ccScaleQuery;
    EXPECT_EQ(ScaleEndings, scaleQuery ? std::vector<bool>{false} : std::vector<bool>{});
}

INSTANTIATE_TEST_SUITE_P(EachBlock, TMalformedReplyTest, ::testing::ValuesIn(kMalformedReplies),
                         [](const auto& info) { return std::string(info.param.Name); });

using TCutShortReplyTest = TPollTest;

// A slow line lets the 11-tick rule settle on part of a reply: "0,1000,9" of
// "0,1000,998\r" would make the wizard write a Y scale of 9 into the cutter's flash.
TEST_F(TCutShortReplyTest, AScaleReplyWithoutItsCarriageReturnIsNotTaken) {
    Build(ScriptedComPort());
    Session().SendScaleQuery();
    ArriveOnSerial("0,10");
    Tick(6);
    ArriveOnSerial("00,9");
    Tick(5);

    EXPECT_EQ(View().Asked(protocol::ccScaleQuery), 0);
    EXPECT_EQ(Session().Settings().ScaleX, 0);
    EXPECT_EQ(Session().Settings().ScaleY, 0);
    EXPECT_EQ(Session().ScaleRepliesDecoded(), 0);
    EXPECT_THAT(ScaleEndings, ElementsAre(false));
    EXPECT_THAT(Refusals, ElementsAre(HasSubstr("was not a scale reading")));
}

TEST_F(TCutShortReplyTest, AFloodOnTheLineIsCutBeforeItIsDecoded) {
    Build(ScriptedComPort());
    Session().PollSize();
    ArriveOnSerial(std::string(60000, ','));
    Tick();
    EXPECT_EQ(View().ReplyText().size(), 16384U);
    Tick(10);
    EXPECT_LE(CountLogStartingWith(""), 16400) << "one log line per field of the cut reply";
}

} // namespace
} // namespace session::test
