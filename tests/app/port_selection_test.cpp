// SPDX-License-Identifier: GPL-3.0-or-later
// Where the port list's entries come from, the check run when the operator chooses one,
// and the opening and closing of the serial port around an exchange.

#include "tests/app/app_test_support.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>

#include <stdexcept>

namespace app::test {
namespace {

using devlink::TLinkError;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

devlink::TSerialCommValue MapValue(const std::string& port) {
    return {"\\Device\\" + port, port, "/dev/" + port};
}

class PortList : public TMainFormTest {
protected:
    void SetUp() override { ::testing::internal::CaptureStderr(); }
    void TearDown() override { ::testing::internal::GetCapturedStderr(); }
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
    EXPECT_EQ(Create().Session().ExchangeState().FWinGeneration, GetParam().Generation);
}

INSTANTIATE_TEST_SUITE_P(Versions, Generation,
                         ::testing::Values(TGenerationCase{true, 2, 5, 2000},
                                           TGenerationCase{true, 2, 10, 2000},
                                           TGenerationCase{true, 2, 4, 1998},
                                           TGenerationCase{true, 1, 5, 1998},
                                           TGenerationCase{false, 2, 5, 0}));

TEST_F(PortList, DeviceMapPortsComeFirstAndTheLastBecomesTheText) {
    Sources.SerialCommMap = {MapValue("COM1"), MapValue("COM3")};
    Usb.SetPresent(0, true);
    TMainForm& form = Create();
    EXPECT_EQ(PortItems(), QStringList({"COM1", "COM3", "USB0"}));
    EXPECT_EQ(form.ComboBox1->currentText(), "COM3");
    EXPECT_THAT(Log(), IsEmpty());
    EXPECT_EQ(Serial.CountOf("CreateFile"), 0);
}

TEST_F(PortList, SerialEntriesCarryTheirDevicePath) {
    Sources.SerialCommMap = {{"\\Device\\VSerial", "COM33", ""}, MapValue("COM1")};
    Sources.DevicePaths["COM33"] = "/dev/ttyUSB0";
    Usb.SetPresent(1, true);
    TMainForm& form = Create();
    EXPECT_EQ(form.ComboBox1->itemData(0, Qt::ToolTipRole).toString(), "/dev/ttyUSB0");
    EXPECT_EQ(form.ComboBox1->itemData(1, Qt::ToolTipRole).toString(), "/dev/COM1");
    EXPECT_FALSE(form.ComboBox1->itemData(2, Qt::ToolTipRole).isValid());
}

TEST_F(PortList, DeviceMapValuesTooLongForTheReadBuffersAreSkipped) {
    Sources.SerialCommMap = {
        {std::string(259, 'n'), "COM1", ""},
        {std::string(260, 'n'), "COM2", ""},
        {"\\Device\\Serial3", "COM" + std::string(436, '3'), ""},
        {"\\Device\\Serial4", "COM" + std::string(437, '4'), ""},
    };
    Create();
    ASSERT_EQ(PortItems().size(), 2);
    EXPECT_EQ(PortItems()[0], "COM1");
    EXPECT_EQ(PortItems()[1].size(), 439);
}

TEST_F(PortList, UsbProbesCloseWhatTheyOpenAndLeaveTheHandleAlone) {
    Usb.SetPresent(1, true);
    Usb.SetPresent(3, true);
    TMainForm& form = Create();
    EXPECT_EQ(PortItems(), QStringList({"USB1", "USB3"}));
    EXPECT_THAT(Usb.OpenedIndexes, ElementsAre(0, 1, 2, 3));
    EXPECT_THAT(Usb.OpenHandles, IsEmpty());
    EXPECT_EQ(form.Session().ExchangeState().FUsbHandle, 0);
}

TEST_F(PortList, EnumeratedPortsLoseTheirLastCharacterAndOnlyComPortsStay) {
    Sources.Version = {4, 10, 1998, 1};
    Sources.EnumeratedPorts = {"COM1:", "COM2:", "LPT1:", "FILE:", "com5:", ""};
    Sources.SerialCommMap = {MapValue("COM9")};
    Usb.SetPresent(2, true);
    TMainForm& form = Create();
    EXPECT_EQ(PortItems(), QStringList({"COM1", "COM2", "com5", "USB2"}));
    EXPECT_TRUE(form.ComboBox1->currentText().isEmpty());
}

TEST_F(PortList, UndecidedGenerationListsOnlyUsbDevices) {
    Sources.VersionAnswers = false;
    Sources.SerialCommMap = {MapValue("COM1")};
    Sources.EnumeratedPorts = {"COM2:"};
    Usb.SetPresent(0, true);
    Create();
    EXPECT_EQ(PortItems(), QStringList({"USB0"}));
}

TEST_F(PortList, UnavailableSourcesAddNothingAndTheRestIsBuilt) {
    Sources.MapAnswers = false;
    Usb.SetPresent(0, true);
    Create();
    EXPECT_EQ(PortItems(), QStringList({"USB0"}));
}

// The chosen port stays the link whatever the list holds; only an empty text is filled.
TEST_F(PortList, OpeningTheListRebuildsItKeepsTheChosenPortAndChecksNothing) {
    Sources.SerialCommMap = {MapValue("COM1"), MapValue("COM3")};
    TMainForm& form = Create();
    SetPortText("COM1");
    Usb.SetPresent(1, true);
    form.ComboBox1->showPopup();
    form.ComboBox1->hidePopup();
    EXPECT_EQ(PortItems(), QStringList({"COM1", "COM3", "USB1"}));
    EXPECT_EQ(form.ComboBox1->currentText(), "COM1");
    SetPortText("");
    form.ComboBox1->showPopup();
    form.ComboBox1->hidePopup();
    EXPECT_EQ(form.ComboBox1->currentText(), "COM3");
    EXPECT_THAT(Log(), IsEmpty());
    EXPECT_EQ(Serial.CountOf("CreateFile"), 0);
}

TEST_F(PortList, RebuildKeepsTypedTextWhenTheSourceSetsNone) {
    Sources.Version = {4, 10, 1998, 1};
    Sources.EnumeratedPorts = {"COM1:", "COM2:"};
    TMainForm& form = Create();
    SetPortText("COM2");
    form.BuildPortList();
    EXPECT_EQ(form.ComboBox1->currentText(), "COM2");
    EXPECT_EQ(PortItems(), QStringList({"COM1", "COM2"}));
}

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
    TMainForm& form = Create();
    Serial.SetModemStatus(GetParam().ModemStatus);
    if (GetParam().OpenError != TLinkError::leNone) {
        Serial.Fail("CreateFile", GetParam().OpenError);
    }
    SetPortText("COM2");
    form.ComboBox1Change();
    EXPECT_EQ(Log(), GetParam().Lines);
    EXPECT_THAT(Serial.OpenedNames(), ElementsAre("\\\\.\\COM2"));
    EXPECT_FALSE(form.Session().Comm1.Enabled());
    EXPECT_EQ(Serial.CountOf("EscapeCommFunction"), 0) << "the check sets no line";
    EXPECT_TRUE(Prompts.TextsOf(TRecordingPrompts::pkMessageBox).empty());
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
    TMainForm form(TPlatform{raising, Usb, Sources, Prompts});
    form.ComboBox1->setEditText("COM2");
    form.ComboBox1Change();
    const QTextDocument* log = form.Memo1->document();
    ASSERT_EQ(log->blockCount(), 3);
    EXPECT_EQ(log->findBlockByNumber(1).text(), "COM2 can't Open");
    EXPECT_EQ(log->findBlockByNumber(2).text(), "COM2 Check Fail");
    EXPECT_TRUE(Prompts.TextsOf(TRecordingPrompts::pkException).empty());
}

TEST_F(PortList, CheckAbandonsEveryQueryButLeavesTheButtons) {
    TMainForm& form = Create();
    form.BnLoopDetectClick();
    form.Session().StageQueryForTests(protocol::ccPollSize);
    form.Session().StageQueryForTests(protocol::ccFirmwareQuery);
    form.Session().StageQueryForTests(protocol::ccScaleQuery);
    form.Session().StageReplyTextForTests("0,0,4");
    SetPortText("COM1");
    form.ComboBox1Change();
    EXPECT_EQ(form.Session().ExchangeState().FPollSizeRequest +
                  form.Session().ExchangeState().FLoopDetect +
                  form.Session().ExchangeState().FFirmwareRequest +
                  form.Session().ExchangeState().FScaleReadRequest,
              0);
    EXPECT_TRUE(form.Session().ExchangeState().FReplyText.empty());
    EXPECT_TRUE(form.BnDisDetect->isEnabled());
    EXPECT_FALSE(form.BnPollSize->isEnabled());
}

// The open port is checked (its device name cannot change while open) and then closed.
TEST_F(PortList, AnOpenPortIsCheckedUnderTheNewName) {
    TMainForm& form = Create();
    Serial.SetModemStatus(devlink::kMsCtsOn);
    SetPortText("COM1");
    form.Session().ComPortOpen();
    SetPortText("COM4");
    form.ComboBox1Change();
    EXPECT_THAT(Log(), ElementsAre("COM1 Check OK", "COM4 Check OK"));
    EXPECT_THAT(Serial.OpenedNames(), ElementsAre("\\\\.\\COM1"));
    EXPECT_FALSE(form.Session().Comm1.Enabled());
    form.Session().ComPortOpen();
    EXPECT_THAT(Serial.OpenedNames(), ElementsAre("\\\\.\\COM1", "\\\\.\\COM4"));
}

TEST_F(PortList, TypingComRunsACheckOnEachEditThatFails) {
    TMainForm& form = Create();
    Serial.Fail("CreateFile", TLinkError::leNotFound);
    QTest::keyClicks(form.ComboBox1->lineEdit(), "COM");
    EXPECT_THAT(Log(), ElementsAre("COM Check Fail"));
    EXPECT_THAT(Serial.OpenedNames(), ElementsAre("\\\\.\\COM"));
}

TEST_F(PortList, EndingAnEditChoosesNothingMore) {
    Sources.SerialCommMap = {MapValue("COM1"), MapValue("COM3")};
    Serial.SetModemStatus(devlink::kMsDsrOn);
    TMainForm& form = Create();
    form.ComboBox1->lineEdit()->selectAll();
    QTest::keyClicks(form.ComboBox1->lineEdit(), "COM1");
    QTest::keyClick(form.ComboBox1->lineEdit(), Qt::Key_Return);
    EXPECT_THAT(Log(), ElementsAre("COM Check OK", "COM1 Check OK"));
    EXPECT_EQ(form.ComboBox1->currentText(), "COM1");
}

TEST_F(PortList, PickingAnItemRunsTheCheck) {
    Sources.SerialCommMap = {MapValue("COM1"), MapValue("COM3")};
    Serial.SetModemStatus(devlink::kMsDsrOn);
    TMainForm& form = Create();
    form.ComboBox1->setCurrentIndex(0);
    QTest::keyClick(form.ComboBox1, Qt::Key_Down);
    EXPECT_EQ(form.ComboBox1->currentText(), "COM3");
    EXPECT_THAT(Log(), ElementsAre("COM3 Check OK"));
}

TEST_F(PortList, UsbEntryThatAnswersIsReportedAndLeftClosed) {
    Usb.SetPresent(1, true);
    TMainForm& form = Create();
    SetPortText("USB1");
    form.ComboBox1Change();
    EXPECT_THAT(Log(), ElementsAre("USB1 Check OK", "USB1 device ID: none reported"));
    EXPECT_THAT(Usb.OpenHandles, IsEmpty());
    EXPECT_EQ(form.Session().ExchangeState().FUsbHandle, 0);
}

TEST_F(PortList, UsbEntryShowsItsDeviceInTheTooltipAndTheCheck) {
    Usb.SetPresent(0, true);
    Usb.DeviceIds[0] = "MFG:Acme;MDL:DeskJet 2700;";
    Sources.DevicePaths["USB0"] = "/dev/usb/lp0";
    TMainForm& form = Create();
    ASSERT_EQ(PortItems(), QStringList{"USB0"});
    EXPECT_EQ(form.ComboBox1->itemData(0, Qt::ToolTipRole).toString(),
              "/dev/usb/lp0\nMFG:Acme;MDL:DeskJet 2700;");
    SetPortText("USB0");
    form.ComboBox1Change();
    EXPECT_THAT(Log(), ElementsAre("USB0 Check OK", "USB0 device ID: MFG:Acme;MDL:DeskJet 2700;"));
}

TEST_F(PortList, RefusedUsbDeviceIsNotListedAndTheLogSaysWhy) {
    Usb.SetPresent(0, true);
    Usb.SetPresent(1, true);
    Usb.Refusals[0] = TLinkError::leDenied;
    Usb.Refusals[1] = TLinkError::leBusy;
    Sources.DevicePaths["USB0"] = "/dev/usb/lp0";
    Sources.DeviceGroups["USB0"] = "lp";
    Sources.DevicePaths["USB1"] = "/dev/usb/lp1";
    TMainForm& form = Create();
    EXPECT_THAT(PortItems(), IsEmpty());
    EXPECT_THAT(Log(),
                ElementsAre("Permission denied on /dev/usb/lp0: add your user to the group lp",
                            "/dev/usb/lp1 is in use by another program"));
    SetPortText("USB1");
    form.ComboBox1Change();
    EXPECT_THAT(Log(), testing::IsSupersetOf({"Device not found"}));
    EXPECT_EQ(Log().back(), "/dev/usb/lp1 is in use by another program");
}

TEST_F(PortList, UsbEntryThatDoesNotAnswerIsNotFound) {
    TMainForm& form = Create();
    SetPortText("USB2");
    form.ComboBox1Change();
    EXPECT_THAT(Log(), ElementsAre("Device not found"));
    EXPECT_EQ(form.Session().ExchangeState().FUsbHandle, -1);
    EXPECT_EQ(Usb.OpenedIndexes.back(), 2);
}

TEST_F(PortList, TypedUsbWithoutANumberShowsTheErrorAndOpensNothing) {
    TMainForm& form = Create();
    form.Session().StageQueryForTests(protocol::ccPollSize);
    form.Session().StageUsbHandleForTests(-1);
    const std::size_t probes = Usb.OpenedIndexes.size();
    QTest::keyClicks(form.ComboBox1->lineEdit(), "USB");
    ASSERT_EQ(Prompts.TextsOf(TRecordingPrompts::pkException).size(), 1U);
    EXPECT_NE(Prompts.TextsOf(TRecordingPrompts::pkException)[0].find("USB"), std::string::npos)
        << Prompts.TextsOf(TRecordingPrompts::pkException)[0];
    EXPECT_EQ(Usb.OpenedIndexes.size(), probes);
    EXPECT_EQ(form.Session().ExchangeState().FUsbHandle, 0);
    EXPECT_EQ(form.Session().ExchangeState().FPollSizeRequest, 0);
    EXPECT_THAT(Log(), IsEmpty());
}

TEST_F(PortList, TextNamingNoLinkChecksNothing) {
    TMainForm& form = Create();
    QTest::keyClicks(form.ComboBox1->lineEdit(), "US");
    EXPECT_TRUE(Prompts.TextsOf(TRecordingPrompts::pkException).empty());
    EXPECT_THAT(Log(), IsEmpty());
    EXPECT_EQ(Serial.CountOf("CreateFile"), 0);
}

TEST_F(PortList, ComPortOpensWithBothLinesUpAndRefusesASecondOpen) {
    TMainForm& form = Create();
    SetPortText("COM1");
    form.Session().ComPortOpen();
    form.Session().ComPortOpen();
    EXPECT_THAT(Log(), ElementsAre("COM1 Check OK", "Port has already been opened!"));
    std::vector<std::uint32_t> functions;
    for (const devlink::fake::TSerialCall& call : Serial.CallsOf("EscapeCommFunction")) {
        functions.push_back(call.Value);
    }
    EXPECT_THAT(functions, ElementsAre(devlink::kSetRts, devlink::kSetDtr));
    EXPECT_THAT(Serial.OpenedNames(), ElementsAre("\\\\.\\COM1"));
}

TEST_F(PortList, ComPortThatDoesNotOpenLogsOnlyAReasonItKnows) {
    Sources.DevicePaths["COM1"] = "/dev/ttyS0";
    Sources.DeviceGroups["COM1"] = "dialout";
    TMainForm& form = Create();
    SetPortText("COM1");
    Serial.Fail("CreateFile", TLinkError::leNotFound);
    form.Session().ComPortOpen();
    EXPECT_THAT(Log(), IsEmpty());
    Serial.Fail("CreateFile", TLinkError::leDenied);
    form.Session().ComPortOpen();
    EXPECT_THAT(Log(),
                ElementsAre("Permission denied on /dev/ttyS0: add your user to the group dialout"));
}

TEST_F(PortList, ComPortCloseSaysWhetherThePortWasOpen) {
    TMainForm& form = Create();
    SetPortText("COM1");
    form.Session().ComPortOpen();
    form.Session().ComPortClose();
    form.Session().ComPortClose();
    EXPECT_THAT(Log(), ElementsAre("COM1 Check OK", "Close COM1 OK", "Port has not been opened!"));
    EXPECT_FALSE(form.Session().Comm1.Enabled());
}

} // namespace
} // namespace app::test
