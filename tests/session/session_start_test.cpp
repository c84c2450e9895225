// SPDX-License-Identifier: GPL-3.0-or-later
// The session as it starts: its exchange state, its port component and timer; the bytes
// of its log lines; and the silence text that says why a link did not open.

#include "tests/session/session_test_support.h"

namespace session::test {
namespace {

using ::testing::ElementsAre;

// The session over the fakes.
class SessionStart : public testsupport::TSessionTest {
protected:
    TCutterSession& Create() { return BuildOverFakes(); }
};
using SilenceText = SessionStart;

TEST_F(SessionStart, StateStartsAtZero) {
    TCutterSession& cutterSession = Create();
    const std::int32_t fields[] = {
        View().SilenceTicks(),
        View().AwaitingFirstReply(),
        View().Asked(protocol::ccPollSize),
        View().SettleTicks(protocol::ccPollSize),
        View().Asked(protocol::ccSettingsQuery),
        View().SettleTicks(protocol::ccSettingsQuery),
        View().ResendTicks(),
        View().Asked(protocol::ccFirmwareQuery),
        View().SettleTicks(protocol::ccFirmwareQuery),
        View().Asked(protocol::ccScaleQuery),
        View().SettleTicks(protocol::ccScaleQuery),
        cutterSession.NewScale().X,
        cutterSession.NewScale().Y,
        View().UsbHandle(),
    };
    for (const std::int32_t field : fields) {
        EXPECT_EQ(field, 0);
    }
    EXPECT_EQ(cutterSession.TestDrawSize().X + cutterSession.TestDrawSize().Y +
                  cutterSession.MeasuredSize().X + cutterSession.MeasuredSize().Y,
              0.0);
    EXPECT_TRUE(View().CommandText().empty());
    EXPECT_TRUE(View().ReplyText().empty());
    EXPECT_EQ(cutterSession.Settings().ScaleX, 0);
    EXPECT_EQ(cutterSession.ScaleRepliesDecoded(), 0);
}

TEST_F(SessionStart, SerialComponentAndTimerAreSetUpAndNoPortIsOpened) {
    Sources.SerialCommMap = {{"\\Device\\Serial0", "COM1", "/dev/ttyS0"}};
    TCutterSession& cutterSession = Create();
    EXPECT_EQ(View().Comm1().DeviceName(), "Com2");
    EXPECT_EQ(View().Comm1().MonitorEvents(), devlink::kAllCommEvents);
    EXPECT_FALSE(View().Comm1().Enabled());
    cutterSession.PortEntries();
    EXPECT_EQ(Serial.CountOf("CreateFile"), 0) << "listing the ports opens none";
    EXPECT_EQ(View().Timer1().Interval(), 1);
    EXPECT_TRUE(View().Timer1().Enabled());
    EXPECT_TRUE(Log().empty());
}

TEST(Latin1ToUtf8, EachByteBecomesTheCharacterOfItsNumber) {
    const std::pair<std::string, std::string> cases[] = {
        {"OH;", "OH;"},
        {"\x1B.R1:", "\x1B.R1:"},
        {std::string("a\0b", 3), std::string("a\0b", 3)},
        {"\xE9", "é"},
        {"\x80\xFF", "\xC2\x80\xC3\xBF"},
        {"", ""},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(Latin1ToUtf8(bytes), text);
    }
}

// The silence box says why the link did not open, under its first line, as long as the
// last open of that port failed for a reason the program knows.
TEST_F(SilenceText, SilenceBoxNamesWhyThePortDidNotOpen) {
    Sources.DevicePaths["COM1"] = "/dev/ttyS0";
    Sources.DeviceGroups["COM1"] = "dialout";
    TCutterSession& cutterSession = Create();
    SetPortText("COM1");
    const auto pollUnanswered = [this, &cutterSession] {
        cutterSession.PollSize();
        Tick(11);
    };
    ::testing::internal::CaptureStderr();
    Serial.Fail("CreateFile", devlink::TLinkError::leDenied);
    pollUnanswered();
    Serial.Fail("CreateFile", devlink::TLinkError::leBusy);
    pollUnanswered();
    Serial.Fail("CreateFile", devlink::TLinkError::leNotFound);
    pollUnanswered();
    Serial.Fail("CreateFile", devlink::TLinkError::leBusy);
    pollUnanswered();
    Serial.Succeed("CreateFile");
    pollUnanswered();
    ::testing::internal::GetCapturedStderr();
    EXPECT_THAT(
        Silences,
        ElementsAre(
            "Device not found\nPermission denied on /dev/ttyS0: add your user to the group dialout",
            "Device not found\n/dev/ttyS0 is in use by another program", "Device not found",
            "Device not found\n/dev/ttyS0 is in use by another program", "Device not found"));
}

// The same for a USB cutter: a refusal found when the entry was checked is named under
// the box's first line until the device opens again.
TEST_F(SilenceText, SilenceBoxNamesWhyTheUsbDeviceDidNotOpenUntilItOpens) {
    Sources.DevicePaths["USB0"] = "/dev/usb/lp0";
    Sources.DeviceGroups["USB0"] = "lp";
    Usb.SetPresent(0, true);
    Usb.Refusals[0] = devlink::TLinkError::leDenied;
    TCutterSession& cutterSession = Create();
    const auto pollUnanswered = [this, &cutterSession] {
        cutterSession.PollSize();
        Tick(11);
    };
    ::testing::internal::CaptureStderr();
    SetPortText("USB0");
    pollUnanswered();
    Usb.Refusals.erase(0);
    pollUnanswered();
    ::testing::internal::GetCapturedStderr();
    EXPECT_THAT(Silences,
                ElementsAre("Device not found\nPermission denied on /dev/usb/lp0: add your user "
                            "to the group lp",
                            "Device not found"));
}

} // namespace
} // namespace session::test
