// SPDX-License-Identifier: GPL-3.0-or-later
// The cutter session with no window at all: Poll Size, Loop Detect with its resend, the
// firmware query and the whole scale save, tick by tick against the virtual cutter on
// COM1. The program has a QCoreApplication only, so a widget made anywhere on the way
// would stop it.

#include "tests/session/session_test_support.h"

#include <QTemporaryDir>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

namespace session::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A cutter whose mechanics run 1 % long on both axes.
TBench LongCutter(bool ignoresFlashWrites = false) {
    TBench bench;
    bench.Cutter.ErrorX = 1.01;
    bench.Cutter.ErrorY = 1.01;
    bench.Cutter.IgnoresFlashWrites = ignoresFlashWrites;
    return bench;
}

class TCutterSessionTest : public testsupport::TSessionTest {
protected:
    explicit TCutterSessionTest(const TBench& bench = LongCutter()) {
        Build(bench);
        QObject::connect(&Session().ScaleSave(), &TScaleSave::Ended,
                         [this](const TScaleSaveOutcome& outcome) { Outcomes.push_back(outcome); });
    }

    // The cutter's answer arrives and the 11th tick with data decodes it.
    void Answer() {
        DeliverAll();
        Tick(11);
    }

    std::vector<TScaleSaveOutcome> Outcomes;
};

TEST_F(TCutterSessionTest, PollSizeSendsItsQueryAndReportsTheSizeWithTheLinkClosed) {
    Session().PollSize();
    EXPECT_THAT(CutterCommands(), ElementsAre("OH;"));
    Answer();
    EXPECT_EQ(Session().Settings().PollSizeX, "600 mm");
    EXPECT_EQ(Session().Settings().PollSizeY, "1250 mm");
    EXPECT_THAT(Logged, ElementsAre("COM1 Check OK", "發送命令:OH;", "接收:0,0,24000,50000\r", "0",
                                    "0", "24000", "50000", "Close COM1 OK"));
    EXPECT_FALSE(SerialPortOpen());
    EXPECT_THAT(Reported(), IsEmpty());
}

TEST_F(TCutterSessionTest, LoopDetectResendsOnTheHundredAndFirstSilentTickAndKeepsDecoding) {
    Session().StartMonitor();
    Answer();
    EXPECT_EQ(Session().Settings().Force, "80");
    Tick(100);
    EXPECT_THAT(CutterCommands(), ElementsAre("<ESC>.R1:"));
    Tick(1);
    EXPECT_THAT(CutterCommands(), ElementsAre("<ESC>.R1:", "<ESC>.R1:"));
    Answer();
    EXPECT_EQ(View().MonitorAwaitingReply(), 0);
    EXPECT_EQ(CountLog("接收:0,30,80,250,5,1,0,2\r"), 2);
    EXPECT_TRUE(SerialPortOpen());
    Session().StopMonitor();
    EXPECT_FALSE(SerialPortOpen());
    EXPECT_THAT(Reported(), IsEmpty());
}

TEST_F(TCutterSessionTest, TheFirmwareQueryReportsModelAndVersion) {
    Session().SendFirmwareQuery();
    EXPECT_THAT(CutterCommands(), ElementsAre("<ESC>.R4:"));
    Answer();
    EXPECT_EQ(Session().Settings().FirmwareModel, "TC-60");
    EXPECT_EQ(Session().Settings().FirmwareVersion, "2.10");
}

// Test cut and corrected cut of 50 x 40 mm measured 1 % long, then the save: Save's
// reading, and after the password a second reading, the write and its read-back. Each row
// disturbs one step and says how the save ends, where the cutter's flash stands and which
// of the save's commands went over the line, and what the journal says of a write.
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
    const char* Journaled; // the outcome journaled; none when nothing was written
};

const std::vector<std::string> kReadingOnly = {"<ESC>.R3:"};
const std::vector<std::string> kTwoReadings = {"<ESC>.R3:", "<ESC>.R3:"};
const std::vector<std::string> kWholeSave = {
    "<ESC>.R3:", "<ESC>.R3:", "<ESC>.C6;1;1022:", "<ESC>.C6;0;1005:", "<ESC>.R3:"};

const TSaveRow kSaveRows[] = {
    {"Saved", tdNone, srSaved, 1022, kWholeSave, "saved"},
    {"NoReadingYet", tdNoReadingYet, srNoFreshReading, 1012, kReadingOnly, nullptr},
    {"ScaleZero", tdScaleZero, srScaleRefused, 0, kReadingOnly, nullptr},
    {"ReadingsDiffer", tdScaleChanged, srReadingsDiffer, 1234, kTwoReadings, nullptr},
    {"PortChanged", tdPortChanged, srPortChanged, 1012, kReadingOnly, nullptr},
    {"MeasurementNotCut", tdMeasurementNotCut, srMeasurementNotCut, 1012, kReadingOnly, nullptr},
    {"SecondReadingLost", tdSecondReadingLost, srNotConfirmed, 1012, kTwoReadings, nullptr},
    {"ReadBackLost", tdReadBackLost, srReadBackMissing, 1022, kWholeSave, "read-back missing"},
    {"WriteIgnored", tdWriteIgnored, srReadBackDiffers, 1012, kWholeSave, "read-back differs"},
    {"UsbCutterPluggedWhileMonitoring",
     tdUsbCutterPluggedWhileMonitoring,
     srWriteNotSent,
     1012,
     {"<ESC>.R1:", "<ESC>.R3:", "<ESC>.R3:"},
     "write not sent"},
};

class TScaleSaveTest : public TCutterSessionTest, public ::testing::WithParamInterface<TSaveRow> {
protected:
    TScaleSaveTest() : TCutterSessionTest(LongCutter(GetParam().Disturbance == tdWriteIgnored)) {
        Session().ScaleSave().UseJournal({&Journal, jsWindow});
        // The window lists the ports before the operator picks one.
        for (const TPortEntry& entry : Session().PortEntries()) {
            if (entry.Name == "COM1") {
                ListedCom1 = entry;
            }
        }
    }

    // The reply is lost on the line; the query gives up in its own time.
    void AnswerOrLose(bool lost) {
        if (!lost) {
            Answer();
            return;
        }
        Line().DiscardAll();
        Tick(126);
    }

    QTemporaryDir StateFolder;
    const TScaleJournal Journal{StateFolder.filePath("tessaro/scale-journal.jsonl").toStdString()};
    TPortEntry ListedCom1;
};

TEST_P(TScaleSaveTest, EndsOnceWithItsOutcomeAndSendsOnlyWhatThatStepAllows) {
    const TDisturbance disturbance = GetParam().Disturbance;
    ASSERT_TRUE(Session().SendTestDraw({"50", "40"}).Done());
    ASSERT_TRUE(Session().SendCorrectedTestDraw({"50.5", "40.4"}).Done());
    if (disturbance == tdScaleZero) {
        Cutter().Feed("\x1b.C6;1;0:");
    }
    if (disturbance == tdUsbCutterPluggedWhileMonitoring) {
        Session().StartMonitor();
        Answer();
    }
    Session().ScaleSave().ReadScale();
    if (disturbance != tdNoReadingYet) {
        Answer();
    }
    if (disturbance == tdScaleChanged) {
        Cutter().Feed("\x1b.C6;1;1234:");
    }
    if (disturbance == tdPortChanged) {
        Session().SetPortName("COM2");
    }
    Session().ScaleSave().Start(disturbance != tdMeasurementNotCut);
    if (disturbance == tdUsbCutterPluggedWhileMonitoring) {
        SetUsbCutterPlugged(true);
    }
    AnswerOrLose(disturbance == tdSecondReadingLost);
    AnswerOrLose(disturbance == tdReadBackLost);

    ASSERT_EQ(Outcomes.size(), 1U);
    EXPECT_EQ(Outcomes[0].Result, GetParam().Result);
    EXPECT_EQ(Cutter().ScaleX(), GetParam().FlashScaleX);
    std::vector<std::string> cuts = {
        "VS30;", "SP1;", "PR;", "PU0,0;", "PD0,0,2000,0,0,1600,-2000,0,0,-1600;", "PU;",
        "VS30;", "SP1;", "PR;", "PU0,0;", "PD0,0,1980,0,0,1584,-1980,0,0,-1584;", "PU;"};
    cuts.insert(cuts.end(), GetParam().SaveCommands.begin(), GetParam().SaveCommands.end());
    EXPECT_EQ(CutterCommands(), cuts);

    const TJournalContents journal = Journal.Read();
    EXPECT_THAT(journal.Warnings, IsEmpty());
    if (GetParam().Journaled == nullptr) {
        EXPECT_THAT(journal.Entries, IsEmpty());
        EXPECT_EQ(Outcomes[0].JournalPath, "");
        return;
    }
    ASSERT_EQ(journal.Entries.size(), 1U);
    const TJournalBefore& before = journal.Entries[0].Before;
    EXPECT_EQ(journal.Entries[0].Outcome(), GetParam().Journaled);
    EXPECT_EQ(std::tuple(before.Port, before.Reading->X, before.Reading->Y, before.Written->X,
                         before.Written->Y),
              std::tuple("COM1", 1012, 996, 1022, 1005));
    EXPECT_NE(ListedCom1.DevicePath, "");
    EXPECT_EQ(before.DevicePath, ListedCom1.DevicePath);
    EXPECT_EQ(before.TestSizeMm, (TPlotterSize{50, 40}));
    EXPECT_EQ(before.MeasuredMm, (TPlotterSize{50.5, 40.4}));
    EXPECT_EQ(Outcomes[0].JournalPath, Journal.Path());
}

INSTANTIATE_TEST_SUITE_P(Disturbances, TScaleSaveTest, ::testing::ValuesIn(kSaveRows),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace session::test
