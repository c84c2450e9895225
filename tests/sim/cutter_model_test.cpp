// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/cutter_model.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace sim {
namespace {

const std::string kEsc(1, '\x1B');

std::string Replies(const TCutterEvents& events) {
    std::string replies;
    for (const TCutterEvent& event : events) {
        if (event.Kind == TEventKind::ekReply) {
            replies += event.Text;
        }
    }
    return replies;
}

std::size_t CountOf(const TCutterEvents& events, TEventKind kind) {
    std::size_t count = 0;
    for (const TCutterEvent& event : events) {
        count += event.Kind == kind ? 1 : 0;
    }
    return count;
}

struct TQueryCase {
    const char* Name;
    std::string Command;
    std::string Reply;
};

void PrintTo(const TQueryCase& query, std::ostream* out) {
    *out << query.Name;
}

class QueryReplies : public testing::TestWithParam<TQueryCase> {};

TEST_P(QueryReplies, AnswerInTheFieldFormatEndedByCarriageReturn) {
    TVirtualCutter cutter;
    EXPECT_EQ(Replies(cutter.Feed(GetParam().Command)), GetParam().Reply);
}

INSTANTIATE_TEST_SUITE_P(
    DefaultCutter, QueryReplies,
    testing::Values(TQueryCase{"Size", "OH;", "0,0,24000,50000\r"},
                    TQueryCase{"Settings", kEsc + ".R1:", "0,30,80,250,5,1,0,2\r"},
                    TQueryCase{"Scale", kEsc + ".R3:", "0,1012,996\r"},
                    TQueryCase{"Identity", kEsc + ".R4:", "0,0,TC-60,2.10 0305\r"},
                    TQueryCase{"LowerCaseMnemonic", "oh;", "0,0,24000,50000\r"},
                    TQueryCase{"UnknownRegister", kEsc + ".R2:", ""},
                    TQueryCase{"UnknownDeviceControl", kEsc + ".Z1:", ""},
                    TQueryCase{"OutputWithParameters", "OH1;", ""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(CutterModel, RepliesFollowTheConfiguration) {
    TCutterConfig config;
    config.ClipUpperRightX = 24010;
    config.ClipUpperRightY = 100;
    config.MediaWeight = 31;
    config.OffsetThousandths = 300;
    config.FirmwareModel = "XK-9";
    config.FirmwareVersion = "3.01 1224";
    config.ScaleX = 10000;
    config.ScaleY = 998;
    TVirtualCutter cutter(config);
    EXPECT_EQ(Replies(cutter.Feed("OH;")), "0,0,24010,100\r");
    EXPECT_EQ(Replies(cutter.Feed(kEsc + ".R1:")), "0,31,80,300,5,1,0,2\r");
    EXPECT_EQ(Replies(cutter.Feed(kEsc + ".R4:")), "0,0,XK-9,3.01 1224\r");
    EXPECT_EQ(Replies(cutter.Feed(kEsc + ".R3:")), "0,10000,998\r");
}

TEST(CutterModel, CommandSplitAcrossWritesIsAnsweredOnceComplete) {
    TVirtualCutter cutter;
    const std::string query = kEsc + ".R1:";
    for (std::size_t i = 0; i + 1 < query.size(); ++i) {
        EXPECT_EQ(Replies(cutter.Feed(query.substr(i, 1))), "") << "after byte " << i;
    }
    EXPECT_EQ(Replies(cutter.Feed(query.substr(query.size() - 1))), "0,30,80,250,5,1,0,2\r");
}

TEST(CutterModel, SeveralCommandsInOneWriteAreAnsweredInOrder) {
    TVirtualCutter cutter;
    EXPECT_EQ(Replies(cutter.Feed("OH;" + kEsc + ".R3:" + kEsc + ".R4:")),
              "0,0,24000,50000\r0,1012,996\r0,0,TC-60,2.10 0305\r");
}

TEST(CutterModel, ScaleWritesAreStoredAndReadBack) {
    TVirtualCutter cutter;
    const TCutterEvents events =
        cutter.Feed(kEsc + ".C6;1;10100:" + kEsc + ".C6;0;9899:" + kEsc + ".R3:");
    EXPECT_EQ(cutter.ScaleX(), 10100);
    EXPECT_EQ(cutter.ScaleY(), 9899);
    EXPECT_EQ(cutter.FlashWriteCount(), 2u);
    EXPECT_EQ(CountOf(events, TEventKind::ekFlashWrite), 2u);
    EXPECT_EQ(Replies(events), "0,10100,9899\r");
}

TEST(CutterModel, AFlashThatTakesNoWriteKeepsItsValuesAndSaysSo) {
    TCutterConfig config;
    config.IgnoresFlashWrites = true;
    TVirtualCutter cutter(config);
    const TCutterEvents events = cutter.Feed(kEsc + ".C6;1;1010:" + kEsc + ".R3:");
    EXPECT_EQ(cutter.FlashWriteCount(), 0u);
    EXPECT_EQ(CountOf(events, TEventKind::ekIgnored), 1u);
    EXPECT_EQ(Replies(events), "0,1012,996\r");
}

TEST(CutterModel, MalformedScaleWritesChangeNothing) {
    for (const std::string parameters :
         {"6;1;", "6;1;10.5", "6;2;1000", "6;1;99999999999", "6;1;1000;7", "6;1;abc", "6;;1000"}) {
        TVirtualCutter cutter;
        const TCutterEvents events = cutter.Feed(kEsc + ".C" + parameters + ":");
        EXPECT_EQ(cutter.ScaleX(), 1012) << parameters;
        EXPECT_EQ(cutter.ScaleY(), 996) << parameters;
        EXPECT_EQ(cutter.FlashWriteCount(), 0u) << parameters;
        EXPECT_EQ(CountOf(events, TEventKind::ekIgnored), 1u) << parameters;
    }
}

const std::string kTestCut = "VS30;SP1;PR;PU0,0;PD0,0,2000,0,0,1000,-2000,0,0,-1000;PU;";

TEST(CutterModel, TestCutOnExactMechanicsMeasuresWhatWasCommanded) {
    TVirtualCutter cutter;
    const TCutterEvents events = cutter.Feed(kTestCut);
    ASSERT_EQ(cutter.Cuts().size(), 1u);
    const TCut& cut = cutter.Cuts().front();
    EXPECT_TRUE(cut.Closed);
    EXPECT_DOUBLE_EQ(cut.WidthMm, 50.0);
    EXPECT_DOUBLE_EQ(cut.HeightMm, 25.0);
    EXPECT_EQ(CountOf(events, TEventKind::ekCut), 1u);
    EXPECT_EQ(CountOf(events, TEventKind::ekIgnored), 0u);
}

TEST(CutterModel, MechanicalErrorCutsLongAndTheWrittenScaleCorrectsIt) {
    TCutterConfig config;
    config.ErrorX = 1.01;
    config.ErrorY = 0.99;
    config.ScaleX = 1000;
    config.ScaleY = 1000;
    TVirtualCutter cutter(config);
    cutter.Feed(kTestCut);
    ASSERT_EQ(cutter.Cuts().size(), 1u);
    EXPECT_NEAR(cutter.Cuts().back().WidthMm, 50.5, 1e-9);
    EXPECT_NEAR(cutter.Cuts().back().HeightMm, 24.75, 1e-9);
    EXPECT_EQ(FormatMillimetres(cutter.Cuts().back().WidthMm), "50.50");

    cutter.Feed(kEsc + ".C6;1;1010:" + kEsc + ".C6;0;990:");
    cutter.Feed(kTestCut);
    ASSERT_EQ(cutter.Cuts().size(), 2u);
    EXPECT_NEAR(cutter.Cuts().back().WidthMm, 50.0, 1e-9);
    EXPECT_NEAR(cutter.Cuts().back().HeightMm, 25.0, 1e-9);
    EXPECT_EQ(FormatMillimetres(cutter.Cuts().back().WidthMm), "50.00");
}

struct TShapeCase {
    const char* Name;
    std::string Hpgl;
    bool Closed;
    double WidthMm;
    double HeightMm;
};

void PrintTo(const TShapeCase& shape, std::ostream* out) {
    *out << shape.Hpgl;
}

class ShapeMeasurement : public testing::TestWithParam<TShapeCase> {};

TEST_P(ShapeMeasurement, RecordsTheExtentOfWhatWasCut) {
    TVirtualCutter cutter;
    cutter.Feed(GetParam().Hpgl);
    ASSERT_EQ(cutter.Cuts().size(), 1u);
    const TCut& cut = cutter.Cuts().front();
    EXPECT_EQ(cut.Closed, GetParam().Closed);
    EXPECT_NEAR(cut.WidthMm, GetParam().WidthMm, 1e-9);
    EXPECT_NEAR(cut.HeightMm, GetParam().HeightMm, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Hpgl, ShapeMeasurement,
    testing::Values(TShapeCase{"DecimalSize",
                               "SP1;PR;PU0,0;PD0,0,400.4,0,0,2000,-400.4,0,0,-2000;PU;", true,
                               10.01, 50.0},
                    TShapeCase{"NegativeDirection", "SP1;PR;PD-4000,0,0,-2000,4000,0,0,2000;PU;",
                               true, 100, 50},
                    TShapeCase{"AbsoluteCoordinates",
                               "SP1;PA;PU100,100;PD4100,100,4100,2100,100,2100,100,100;PU;", true,
                               100, 50},
                    TShapeCase{"AbsoluteBackToStartIsClosed",
                               "IN;SP1;PA;PU40,40;PD80,40;PD80,80,40,80;PD40,40;SP0;", true, 1, 1},
                    TShapeCase{"OpenPath", "SP1;PR;PD4000,0,0,2000;PU;", false, 100, 50},
                    TShapeCase{"SpacesAroundNumbers",
                               "SP1;PR;PD 4000 , 0 ,0,2000, -4000,0,0,-2000;PU;", true, 100, 50}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(CutterModel, PenMovesWithoutCuttingWhileUp) {
    TVirtualCutter cutter;
    cutter.Feed("SP1;PR;PU100,50;PU-20,10;");
    EXPECT_TRUE(cutter.Cuts().empty());
    EXPECT_DOUBLE_EQ(cutter.PenXUnits(), 80);
    EXPECT_DOUBLE_EQ(cutter.PenYUnits(), 60);
    EXPECT_EQ(cutter.SelectedPen(), 1);
    cutter.Feed("PA;PU7,8;");
    EXPECT_FALSE(cutter.RelativeMode());
    EXPECT_DOUBLE_EQ(cutter.PenXUnits(), 7);
}

TEST(CutterModel, VelocityIsKept) {
    TVirtualCutter cutter;
    cutter.Feed("VS30;");
    EXPECT_DOUBLE_EQ(cutter.Velocity(), 30);
}

TEST(CutterModel, MalformedCoordinatesAreIgnoredWithoutMoving) {
    for (const std::string move : {"PD10;", "PD1,,2;", "PD1e3,0;", "PDnan,0;", "PD1,2,3;",
                                   "PD99999999999,0;", "PD--1,0;", "PD.,0;"}) {
        TVirtualCutter cutter;
        const TCutterEvents events = cutter.Feed("SP1;PR;" + move + "PU;");
        EXPECT_TRUE(cutter.Cuts().empty()) << move;
        EXPECT_DOUBLE_EQ(cutter.PenXUnits(), 0) << move;
        EXPECT_EQ(CountOf(events, TEventKind::ekIgnored), 1u) << move;
    }
}

TEST(CutterModel, UnusableScaleRefusesTheCutInsteadOfDividingByZero) {
    TVirtualCutter cutter;
    const TCutterEvents events = cutter.Feed(kEsc + ".C6;1;0:" + kTestCut);
    EXPECT_EQ(cutter.ScaleX(), 0);
    EXPECT_TRUE(cutter.Cuts().empty());
    EXPECT_EQ(CountOf(events, TEventKind::ekIgnored), 1u);
}

TEST(CutterModel, GarbageIsReportedAndTheNextCommandStillAnswered) {
    TVirtualCutter cutter;
    const TCutterEvents events = cutter.Feed(std::string("\x01\xff#*1,2", 7) + "OH;");
    EXPECT_EQ(CountOf(events, TEventKind::ekIgnored), 1u);
    EXPECT_EQ(Replies(events), "0,0,24000,50000\r");
}

TEST(CutterModel, UnknownInstructionIsReportedAndSkipped) {
    TVirtualCutter cutter;
    const TCutterEvents events = cutter.Feed("XY12;OH;");
    ASSERT_EQ(CountOf(events, TEventKind::ekIgnored), 1u);
    EXPECT_EQ(Replies(events), "0,0,24000,50000\r");
}

TEST(CutterModel, EscapeInterruptsAnIncompleteInstruction) {
    TVirtualCutter cutter;
    const TCutterEvents events = cutter.Feed("PD10,10" + kEsc + ".R3:");
    EXPECT_EQ(Replies(events), "0,1012,996\r");
    EXPECT_EQ(CountOf(events, TEventKind::ekIgnored), 1u);
    EXPECT_FALSE(cutter.PenIsDown());
}

TEST(CommandReader, EndlessInputWithoutTerminatorHoldsBoundedMemory) {
    TCommandReader reader;
    TCutterCommands commands;
    TCutterEvents notes;
    const std::string letters(1000, 'A');
    const std::string device = kEsc + ".R" + std::string(1000, '9');
    for (int i = 0; i < 200; ++i) {
        reader.Feed(letters, commands, notes);
        EXPECT_LE(reader.HeldBytes(), kMaxHpglInstructionBytes);
    }
    reader.Feed(device, commands, notes);
    EXPECT_LE(reader.HeldBytes(), kMaxDeviceControlBytes);
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(notes.size(), 2u);

    reader.Feed(";OH;", commands, notes);
    ASSERT_EQ(commands.size(), 0u) << "the over-long device command is skipped to its ':'";
    reader.Feed(":OH;", commands, notes);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].Name, "OH");
}

TEST(CommandReader, NoiseIsReportedInBoundedNotes) {
    TCommandReader reader;
    TCutterCommands commands;
    TCutterEvents notes;
    const std::string noise(100000, '#');
    reader.Feed(noise, commands, notes);
    reader.Flush(notes);
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(notes.size(), (noise.size() + kIgnoredBytesPerNote - 1) / kIgnoredBytesPerNote);
    for (const TCutterEvent& note : notes) {
        EXPECT_LT(note.Text.size(), 100u);
    }
}

TEST(CommandReader, KeepsRawBytesAndParameters) {
    TCommandReader reader;
    TCutterCommands commands;
    TCutterEvents notes;
    reader.Feed("\r\n pd1,2;" + kEsc + ".C6;1;1010:", commands, notes);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], (TCutterCommand{TCommandKind::ckHpgl, "PD", "1,2", "pd1,2;"}));
    EXPECT_EQ(commands[1], (TCutterCommand{TCommandKind::ckDeviceControl, "C", "6;1;1010",
                                           kEsc + ".C6;1;1010:"}));
    EXPECT_TRUE(notes.empty());
}

} // namespace
} // namespace sim
