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
    TCutterSessionTest() {
        FSession.Timer1.SetEnabled(false); // the test is the clock
        FSession.SetPortName("COM1");
        QObject::connect(&FSession, &TCutterSession::LogLine,
                         [this](const std::string& line) { Logged.push_back(line); });
        QObject::connect(&FSession, &TCutterSession::QuerySilent,
                         [this](const std::string& text) { Reported.push_back(text); });
        QObject::connect(&FSession, &TCutterSession::QueryRefused,
                         [this](const std::string& text) { Reported.push_back(text); });
        QObject::connect(&FSession, &TCutterSession::ScaleQueryEnded,
                         [this](bool decoded) { ScaleEndings.push_back(decoded); });
    }

    void Tick(int count) {
        for (int tick = 0; tick < count; ++tick) {
            FSession.Timer1Timer();
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

    sim::TVirtualCutter Cutter{LongCutter()};
    mutable sim::TInProcessSerial Serial{Cutter, "COM1"};
    sim::TInProcessUsb Usb;
    TNoPortSources Sources;
    TCutterSession FSession{Serial, Usb, Sources};
    std::vector<std::string> Logged;
    std::vector<std::string> Reported; // silences and refusals
    std::vector<bool> ScaleEndings;
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

// Test cut, corrected cut, then the save: a reading, a second one that agrees, the write,
// and the read-back that reports what was written.
TEST_F(TCutterSessionTest, TheSaveReadsConfirmsWritesAndReadsTheScaleBack) {
    FSession.SetWizardFields(
        {[] { return "50"; }, [] { return "40"; }, [] { return "50.5"; }, [] { return "40.4"; }});
    ASSERT_EQ(FSession.SendTestDraw(), soWritten);
    ASSERT_EQ(FSession.SendCorrectedTestDraw(), soWritten);
    FSession.SendScaleQuery();
    Answer();
    const std::string firstReading = FSession.LastScaleReply();
    FSession.SendScaleQuery();
    Answer();
    EXPECT_EQ(FSession.LastScaleReply(), firstReading);
    ASSERT_EQ(FSession.SendWriteScale(), soWritten);
    FSession.SendScaleReadBack();
    Answer();

    EXPECT_THAT(ScaleEndings, ElementsAre(true, true, true));
    EXPECT_EQ(FSession.ScaleRepliesDecoded(), 3);
    EXPECT_EQ(Cutter.ScaleX(), 1010);
    EXPECT_EQ(Cutter.ScaleY(), 1010);
    EXPECT_EQ(FSession.Settings().ScaleX, FSession.NewScale().X);
    EXPECT_EQ(FSession.Settings().ScaleY, FSession.NewScale().Y);
    // The corrected cut is the test cut scaled by test / measured.
    EXPECT_THAT(
        Commands(),
        ElementsAre("VS30;", "SP1;", "PR;", "PU0,0;", "PD0,0,2000,0,0,1600,-2000,0,0,-1600;", "PU;",
                    "VS30;", "SP1;", "PR;", "PU0,0;", "PD0,0,1980,0,0,1584,-1980,0,0,-1584;", "PU;",
                    "<ESC>.R3:", "<ESC>.R3:", "<ESC>.C6;1;1010:", "<ESC>.C6;0;1010:", "<ESC>.R3:"));
    EXPECT_THAT(Reported, IsEmpty());
}

} // namespace
} // namespace session::test
