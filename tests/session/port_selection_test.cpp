// SPDX-License-Identifier: GPL-3.0-or-later
// The check run when the operator chooses a port, and the opening and closing of the
// serial port around an exchange.

#include "tests/session/session_test_support.h"

#include <stdexcept>

namespace session::test {
namespace {

using devlink::TLinkError;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using testsupport::MapValue;

// The session over the fakes.
class PortList : public testsupport::TSessionTest {
protected:
    TCutterSession& Create() { return BuildOverFakes(); }
};

struct TGenerationCase {
    bool Answers;
    std::uint32_t PlatformId;
    std::uint32_t MajorVersion;
    std::int32_t Generation;
};

class Generation : public PortList, public ::testing::WithParamInterface<TGenerationCase> {};

TEST_P(Generation, IsDecidedFromTheVersionQuery) {
    Sources.VersionAnswers = GetParam().Answers;
    Sources.Version.PlatformId = GetParam().PlatformId;
    Sources.Version.MajorVersion = GetParam().MajorVersion;
    EXPECT_EQ(testsupport::TSessionTestView(Create()).WinGeneration(), GetParam().Generation);
}

INSTANTIATE_TEST_SUITE_P(Versions, Generation,
                         ::testing::Values(TGenerationCase{true, 2, 5, 2000},
                                           TGenerationCase{true, 2, 10, 2000},
                                           TGenerationCase{true, 2, 4, 1998},
                                           TGenerationCase{true, 1, 5, 1998},
                                           TGenerationCase{false, 2, 5, 0}));

// The outcomes of choosing a COM entry.
struct TSerialCheckCase {
    const char* Name;
    std::uint32_t ModemStatus;
    TLinkError OpenError; // leNone: the port opens
    std::vector<std::string> Lines;
};

class SerialCheck : public PortList, public ::testing::WithParamInterface<TSerialCheckCase> {};

TEST_P(SerialCheck, LogsTheOutcomeAndLeavesThePortClosed) {
    Sources.SerialCommMap = {MapValue("COM1"), MapValue("COM2")};
    Sources.DevicePaths["COM2"] = "/dev/ttyUSB0";
    Sources.DeviceGroups["COM2"] = "dialout";
    Create();
    Serial.SetModemStatus(GetParam().ModemStatus);
    if (GetParam().OpenError != TLinkError::leNone) {
        Serial.Fail("CreateFile", GetParam().OpenError);
    }
    ChoosePort("COM2");
    EXPECT_EQ(Log(), GetParam().Lines);
    EXPECT_THAT(Serial.OpenedNames(), ElementsAre("COM2"));
    EXPECT_FALSE(View().Comm1().Enabled());
    EXPECT_EQ(Serial.CountOf("EscapeCommFunction"), 0) << "the check sets no line";
    EXPECT_THAT(Reported(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SerialCheck,
    ::testing::Values(
        TSerialCheckCase{"Dsr", devlink::kMsDsrOn, TLinkError::leNone, {"COM2 Check OK"}},
        TSerialCheckCase{"Cts", devlink::kMsCtsOn, TLinkError::leNone, {"COM2 Check OK"}},
        TSerialCheckCase{"Ring", devlink::kMsRingOn, TLinkError::leNone, {"COM2 Check OK"}},
        TSerialCheckCase{"Rlsd", devlink::kMsRlsdOn, TLinkError::leNone, {"COM2 Check OK"}},
        TSerialCheckCase{"NoModemLine", 0, TLinkError::leNone, {"Device not found"}},
        TSerialCheckCase{"Missing", devlink::kMsDsrOn, TLinkError::leNotFound, {"COM2 Check Fail"}},
        TSerialCheckCase{"NoPermission",
                         devlink::kMsDsrOn,
                         TLinkError::leDenied,
                         {"COM2 Check Fail",
                          "Permission denied on /dev/ttyUSB0: add your user to the group dialout"}},
        TSerialCheckCase{"Busy",
                         devlink::kMsDsrOn,
                         TLinkError::leBusy,
                         {"COM2 Check Fail", "/dev/ttyUSB0 is in use by another program"}}),
    [](const auto& info) { return std::string(info.param.Name); });

// A port component whose open raises instead of failing quietly.
class TRaisingSerialApi : public devlink::fake::TFakeSerialApi {
public:
    devlink::THandle CreateFile(const std::string& deviceName) override {
        TFakeSerialApi::CreateFile(deviceName);
        throw std::runtime_error("no resources");
    }
};

TEST_F(PortList, OpenThatRaisesIsReportedAndTheCheckGoesOn) {
    TRaisingSerialApi raising;
    BuildOver(raising, Usb, Sources);
    ChoosePort("COM2");
    EXPECT_THAT(Log(), ElementsAre("COM2 can't Open", "COM2 Check Fail"));
    EXPECT_THAT(Reported(), IsEmpty());
    Close();
}

TEST_F(PortList, CheckAbandonsEveryQueryButLeavesTheButtons) {
    TCutterSession& cutterSession = Create();
    cutterSession.StartMonitor();
    View().StageQuery(protocol::ccPollSize);
    View().StageQuery(protocol::ccFirmwareQuery);
    View().StageQuery(protocol::ccScaleQuery);
    View().StageReplyText("0,0,4");
    ChoosePort("COM1");
    EXPECT_EQ(View().Asked(protocol::ccPollSize) + View().Asked(protocol::ccSettingsQuery) +
                  View().Asked(protocol::ccFirmwareQuery) + View().Asked(protocol::ccScaleQuery),
              0);
    EXPECT_TRUE(View().ReplyText().empty());
    EXPECT_EQ(MonitorStops, 0) << "the monitor's buttons stay as they are";
}

// The open port is checked (its device name cannot change while open) and then closed.
TEST_F(PortList, AnOpenPortIsCheckedUnderTheNewName) {
    Create();
    Serial.SetModemStatus(devlink::kMsCtsOn);
    SetPortText("COM1");
    View().OpenChosenLink();
    ChoosePort("COM4");
    EXPECT_THAT(Log(), ElementsAre("COM1 Check OK", "COM4 Check OK"));
    EXPECT_THAT(Serial.OpenedNames(), ElementsAre("COM1"));
    EXPECT_FALSE(View().Comm1().Enabled());
    View().OpenChosenLink();
    EXPECT_THAT(Serial.OpenedNames(), ElementsAre("COM1", "COM4"));
}

TEST_F(PortList, UsbEntryThatAnswersIsReportedAndLeftClosed) {
    Usb.SetPresent(1, true);
    Create();
    ChoosePort("USB1");
    EXPECT_THAT(Log(), ElementsAre("USB1 Check OK", "USB1 device ID: none reported"));
    EXPECT_THAT(Usb.OpenHandles, IsEmpty());
    EXPECT_EQ(View().UsbHandle(), 0);
}

TEST_F(PortList, UsbEntryThatDoesNotAnswerIsNotFound) {
    Create();
    ChoosePort("USB2");
    EXPECT_THAT(Log(), ElementsAre("Device not found"));
    EXPECT_EQ(View().UsbHandle(), -1);
    EXPECT_EQ(Usb.OpenedIndexes.back(), 2);
}

TEST_F(PortList, ComPortOpensWithBothLinesUpAndRefusesASecondOpen) {
    Create();
    SetPortText("COM1");
    View().OpenChosenLink();
    View().OpenChosenLink();
    EXPECT_THAT(Log(), ElementsAre("COM1 Check OK", "Port has already been opened!"));
    std::vector<std::uint32_t> functions;
    for (const devlink::fake::TSerialCall& call : Serial.CallsOf("EscapeCommFunction")) {
        functions.push_back(call.Value);
    }
    EXPECT_THAT(functions, ElementsAre(devlink::kSetRts, devlink::kSetDtr));
    EXPECT_THAT(Serial.OpenedNames(), ElementsAre("COM1"));
}

TEST_F(PortList, ComPortThatDoesNotOpenLogsOnlyAReasonItKnows) {
    Sources.DevicePaths["COM1"] = "/dev/ttyS0";
    Sources.DeviceGroups["COM1"] = "dialout";
    Create();
    SetPortText("COM1");
    Serial.Fail("CreateFile", TLinkError::leNotFound);
    View().OpenChosenLink();
    EXPECT_THAT(Log(), IsEmpty());
    Serial.Fail("CreateFile", TLinkError::leDenied);
    View().OpenChosenLink();
    EXPECT_THAT(Log(),
                ElementsAre("Permission denied on /dev/ttyS0: add your user to the group dialout"));
}

TEST_F(PortList, ComPortCloseSaysWhetherThePortWasOpen) {
    Create();
    SetPortText("COM1");
    View().OpenChosenLink();
    View().SerialLink().Close();
    View().SerialLink().Close();
    EXPECT_THAT(Log(), ElementsAre("COM1 Check OK", "Close COM1 OK", "Port has not been opened!"));
    EXPECT_FALSE(View().Comm1().Enabled());
}

} // namespace
} // namespace session::test
