// SPDX-License-Identifier: GPL-3.0-or-later
// The cutter session with no window at all: Poll Size, Loop Detect with its resend, the
// firmware query and the whole scale save, tick by tick against the in-process virtual
// cutter on COM1. The program has a QCoreApplication only, so a widget made anywhere on
// the way would stop it.

#include "session/cutter_session.h"
#include "sim/cutter_model.h"
#include "sim/in_process_serial.h"
#include "sim/in_process_usb.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <memory>
#include <string>
#include <vector>

namespace session::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class TCoreApplication : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "session_tests";
        static char* argv[] = {name, nullptr};
        FApplication = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { FApplication.reset(); }

private:
    std::unique_ptr<QCoreApplication> FApplication;
};

[[maybe_unused]] ::testing::Environment* const kCoreApplication =
    ::testing::AddGlobalTestEnvironment(new TCoreApplication);

// A system with no port to list: the session is given its port name.
class TNoPortSources : public devlink::TPortSources {
public:
    bool GetVersionEx(devlink::TOsVersionInfo& /*info*/) override { return false; }
    bool EnumPorts(std::vector<std::string>& /*portNames*/) override { return false; }
    bool ReadSerialCommMap(std::vector<devlink::TSerialCommValue>& /*values*/) override {
        return false;
    }
    std::string DevicePathOf(const std::string& /*portName*/) override { return {}; }
    std::string DeviceGroupOf(const std::string& /*portName*/) override { return {}; }
};

// A cutter whose mechanics run 1 % long on both axes.
sim::TCutterConfig LongCutter() {
    sim::TCutterConfig config;
    config.ErrorX = 1.01;
    config.ErrorY = 1.01;
    return config;
}

class TCutterSessionTest : public ::testing::Test {
protected:
    explicit TCutterSessionTest(const sim::TCutterConfig& config = LongCutter()) : Cutter(config) {
        FSession.Timer1.SetEnabled(false); // the test is the clock
        FSession.SetPortName("COM1");
        QObject::connect(&FSession, &TCutterSession::LogLine,
                         [this](const std::string& line) { Logged.push_back(line); });
        QObject::connect(&FSession, &TCutterSession::QuerySilent,
                         [this](const std::string& text) { Reported.push_back(text); });
        QObject::connect(&FSession, &TCutterSession::QueryRefused,
                         [this](const std::string& text) { Reported.push_back(text); });
        QObject::connect(&FSession.ScaleSave(), &TScaleSave::Ended,
                         [this](const TScaleSaveOutcome& outcome) { Outcomes.push_back(outcome); });
    }

    // What a tick posted for after it (the save's next step) runs before the next tick.
    void Tick(int count) {
        for (int tick = 0; tick < count; ++tick) {
            FSession.Timer1Timer();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        }
    }

    // The cutter's answer arrives; the event thread hands it to the session, and the 11th
    // tick with data decodes it.
    void Answer() {
        const std::size_t expected =
            FSession.ExchangeState().FReplyText.size() + Serial.Line().DeliverAll();
        for (int round = 0; round < 5000 && FSession.ExchangeState().FReplyText.size() < expected;
             ++round) {
            QCoreApplication::processEvents();
            QThread::usleep(200);
        }
        ASSERT_EQ(FSession.ExchangeState().FReplyText.size(), expected);
        Tick(11);
    }

    // The commands the cutter received, as its transcript shows them.
    std::vector<std::string> Commands() const {
        std::vector<std::string> commands;
        for (const std::string& entry : Serial.Line().Transcript()) {
            if (entry.rfind("< ", 0) == 0) {
                commands.push_back(entry.substr(2));
            }
        }
        return commands;
    }

    sim::TVirtualCutter Cutter;
    mutable sim::TInProcessSerial Serial{Cutter, "COM1"};
    sim::TInProcessUsb Usb;
    TNoPortSources Sources;
    TCutterSession FSession{Serial, Usb, Sources};
    std::vector<std::string> Logged;
    std::vector<std::string> Reported; // silences and refusals
    std::vector<TScaleSaveOutcome> Outcomes;
};

TEST_F(TCutterSessionTest, PollSizeSendsItsQueryAndReportsTheSizeWithTheLinkClosed) {
    FSession.PollSize();
    EXPECT_THAT(Commands(), ElementsAre("OH;"));
    Answer();
    EXPECT_EQ(FSession.Settings().PollSizeX, "600 mm");
    EXPECT_EQ(FSession.Settings().PollSizeY, "1250 mm");
    EXPECT_THAT(Logged, ElementsAre("COM1 Check OK", "發送命令:OH;", "接收:0,0,24000,50000\r", "0",
                                    "0", "24000", "50000", "Close COM1 OK"));
    EXPECT_FALSE(FSession.Comm1.Enabled());
    EXPECT_THAT(Reported, IsEmpty());
}

TEST_F(TCutterSessionTest, LoopDetectResendsOnTheHundredAndFirstSilentTickAndKeepsDecoding) {
    FSession.StartMonitor();
    Answer();
    EXPECT_EQ(FSession.Settings().Force, "80");
    Tick(100);
    EXPECT_THAT(Commands(), ElementsAre("<ESC>.R1:"));
    Tick(1);
    EXPECT_THAT(Commands(), ElementsAre("<ESC>.R1:", "<ESC>.R1:"));
    Answer();
    EXPECT_EQ(FSession.ExchangeState().FMonitorAwaitingReply, 0);
    EXPECT_EQ(std::count(Logged.begin(), Logged.end(), "接收:0,30,80,250,5,1,0,2\r"), 2);
    EXPECT_TRUE(FSession.Comm1.Enabled());
    FSession.StopMonitor();
    EXPECT_FALSE(FSession.Comm1.Enabled());
    EXPECT_THAT(Reported, IsEmpty());
}

TEST_F(TCutterSessionTest, TheFirmwareQueryReportsModelAndVersion) {
    FSession.SendFirmwareQuery();
    EXPECT_THAT(Commands(), ElementsAre("<ESC>.R4:"));
    Answer();
    EXPECT_EQ(FSession.Settings().FirmwareModel, "TC-60");
    EXPECT_EQ(FSession.Settings().FirmwareVersion, "2.10");
}

// Test cut and corrected cut of 50 x 40 mm measured 1 % long, then the save: Save's
// reading, and after the password a second reading, the write and its read-back. Each row
// disturbs one step and says how the save ends, where the cutter's flash stands and which
// of the save's commands went over the line.
enum TDisturbance {
    tdNone,
    tdNoReadingYet,      // the password comes before Save's reading
    tdScaleZero,         // the cutter's flash holds a scale of 0
    tdScaleChanged,      // the flash changes between the two readings
    tdPortChanged,       // another port is chosen after Save's reading
    tdMeasurementNotCut, // the wizard's measurement is not that of the last corrected cut
    tdSecondReadingLost,
    tdReadBackLost,
    tdWriteIgnored, // the flash takes no write
    // With Loop Detect keeping COM1 open, a USB cutter is plugged in before the write.
    tdUsbCutterPluggedWhileMonitoring,
};

struct TSaveRow {
    const char* Name;
    TDisturbance Disturbance;
    TScaleSaveResult Result;
    std::int32_t FlashScaleX;
    std::vector<std::string> SaveCommands;
};

const std::vector<std::string> kReadingOnly = {"<ESC>.R3:"};
const std::vector<std::string> kTwoReadings = {"<ESC>.R3:", "<ESC>.R3:"};
const std::vector<std::string> kWholeSave = {
    "<ESC>.R3:", "<ESC>.R3:", "<ESC>.C6;1;1010:", "<ESC>.C6;0;1010:", "<ESC>.R3:"};

const TSaveRow kSaveRows[] = {
    {"Saved", tdNone, srSaved, 1010, kWholeSave},
    {"NoReadingYet", tdNoReadingYet, srNoFreshReading, 1000, kReadingOnly},
    {"ScaleZero", tdScaleZero, srScaleRefused, 0, kReadingOnly},
    {"ReadingsDiffer", tdScaleChanged, srReadingsDiffer, 1234, kTwoReadings},
    {"PortChanged", tdPortChanged, srPortChanged, 1000, kReadingOnly},
    {"MeasurementNotCut", tdMeasurementNotCut, srMeasurementNotCut, 1000, kReadingOnly},
    {"SecondReadingLost", tdSecondReadingLost, srNotConfirmed, 1000, kTwoReadings},
    {"ReadBackLost", tdReadBackLost, srReadBackMissing, 1010, kWholeSave},
    {"WriteIgnored", tdWriteIgnored, srReadBackDiffers, 1000, kWholeSave},
    {"UsbCutterPluggedWhileMonitoring",
     tdUsbCutterPluggedWhileMonitoring,
     srWriteNotSent,
     1000,
     {"<ESC>.R1:", "<ESC>.R3:", "<ESC>.R3:"}},
};

class TScaleSaveTest : public TCutterSessionTest, public ::testing::WithParamInterface<TSaveRow> {
protected:
    TScaleSaveTest() : TCutterSessionTest(CutterFor(GetParam().Disturbance)) {}

    static sim::TCutterConfig CutterFor(TDisturbance disturbance) {
        sim::TCutterConfig config = LongCutter();
        config.IgnoresFlashWrites = disturbance == tdWriteIgnored;
        return config;
    }

    // The reply is lost on the line; the query gives up in its own time.
    void AnswerOrLose(bool lost) {
        if (!lost) {
            Answer();
            return;
        }
        Serial.Line().DiscardAll();
        Tick(126);
    }
};

TEST_P(TScaleSaveTest, EndsOnceWithItsOutcomeAndSendsOnlyWhatThatStepAllows) {
    const TDisturbance disturbance = GetParam().Disturbance;
    FSession.SetWizardFields(
        {[] { return "50"; }, [] { return "40"; }, [] { return "50.5"; }, [] { return "40.4"; }});
    ASSERT_EQ(FSession.SendTestDraw(), soWritten);
    ASSERT_EQ(FSession.SendCorrectedTestDraw(), soWritten);
    if (disturbance == tdScaleZero) {
        Cutter.Feed("\x1b.C6;1;0:");
    }
    if (disturbance == tdUsbCutterPluggedWhileMonitoring) {
        FSession.StartMonitor();
        Answer();
    }
    FSession.ScaleSave().ReadScale();
    if (disturbance != tdNoReadingYet) {
        Answer();
    }
    if (disturbance == tdScaleChanged) {
        Cutter.Feed("\x1b.C6;1;1234:");
    }
    if (disturbance == tdPortChanged) {
        FSession.SetPortName("COM2");
    }
    FSession.ScaleSave().Start(disturbance != tdMeasurementNotCut);
    if (disturbance == tdUsbCutterPluggedWhileMonitoring) {
        Usb.AddDevice(0, Cutter);
    }
    AnswerOrLose(disturbance == tdSecondReadingLost);
    AnswerOrLose(disturbance == tdReadBackLost);

    ASSERT_EQ(Outcomes.size(), 1U);
    EXPECT_EQ(Outcomes[0].Result, GetParam().Result);
    EXPECT_EQ(Cutter.ScaleX(), GetParam().FlashScaleX);
    std::vector<std::string> cuts = {
        "VS30;", "SP1;", "PR;", "PU0,0;", "PD0,0,2000,0,0,1600,-2000,0,0,-1600;", "PU;",
        "VS30;", "SP1;", "PR;", "PU0,0;", "PD0,0,1980,0,0,1584,-1980,0,0,-1584;", "PU;"};
    cuts.insert(cuts.end(), GetParam().SaveCommands.begin(), GetParam().SaveCommands.end());
    EXPECT_EQ(Commands(), cuts);
}

INSTANTIATE_TEST_SUITE_P(Disturbances, TScaleSaveTest, ::testing::ValuesIn(kSaveRows),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace session::test
