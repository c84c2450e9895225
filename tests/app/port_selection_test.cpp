// SPDX-License-Identifier: GPL-3.0-or-later
// Where the port list's entries come from, and how the operator's choice reaches the
// check: an item picked, a text typed. The checks themselves are tried on the session.

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

using testsupport::MapValue;

class PortList : public TMainFormTest {
protected:
    void SetUp() override { ::testing::internal::CaptureStderr(); }
    void TearDown() override { ::testing::internal::GetCapturedStderr(); }
};

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
    EXPECT_EQ(testsupport::TSessionTestView(form.Session()).UsbHandle(), 0);
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

TEST_F(PortList, CheckLeavesTheButtonsOfTheMonitor) {
    TMainForm& form = Create();
    form.BnLoopDetectClick();
    SetPortText("COM1");
    form.ComboBox1Change();
    EXPECT_EQ(testsupport::TSessionTestView(form.Session()).Asked(protocol::ccSettingsQuery), 0);
    EXPECT_TRUE(form.BnDisDetect->isEnabled());
    EXPECT_FALSE(form.BnPollSize->isEnabled());
}

TEST_F(PortList, TypingComRunsACheckOnEachEditThatFails) {
    TMainForm& form = Create();
    Serial.Fail("CreateFile", TLinkError::leNotFound);
    QTest::keyClicks(form.ComboBox1->lineEdit(), "COM");
    EXPECT_THAT(Log(), ElementsAre("COM Check Fail"));
    EXPECT_THAT(Serial.OpenedNames(), ElementsAre("COM"));
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

TEST_F(PortList, TypedUsbWithoutANumberShowsTheErrorAndOpensNothing) {
    TMainForm& form = Create();
    testsupport::TSessionTestView(form.Session()).StageQuery(protocol::ccPollSize);
    testsupport::TSessionTestView(form.Session()).StageUsbHandle(-1);
    const std::size_t probes = Usb.OpenedIndexes.size();
    QTest::keyClicks(form.ComboBox1->lineEdit(), "USB");
    ASSERT_EQ(Prompts.TextsOf(TRecordingPrompts::pkException).size(), 1U);
    EXPECT_NE(Prompts.TextsOf(TRecordingPrompts::pkException)[0].find("USB"), std::string::npos)
        << Prompts.TextsOf(TRecordingPrompts::pkException)[0];
    EXPECT_EQ(Usb.OpenedIndexes.size(), probes);
    EXPECT_EQ(testsupport::TSessionTestView(form.Session()).UsbHandle(), 0);
    EXPECT_EQ(testsupport::TSessionTestView(form.Session()).Asked(protocol::ccPollSize), 0);
    EXPECT_THAT(Log(), IsEmpty());
}

TEST_F(PortList, TextNamingNoLinkChecksNothing) {
    TMainForm& form = Create();
    QTest::keyClicks(form.ComboBox1->lineEdit(), "US");
    EXPECT_TRUE(Prompts.TextsOf(TRecordingPrompts::pkException).empty());
    EXPECT_THAT(Log(), IsEmpty());
    EXPECT_EQ(Serial.CountOf("CreateFile"), 0);
}

} // namespace
} // namespace app::test
