// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/vcutter_options.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

TVCutterOptions Parsed(const std::vector<std::string>& arguments) {
    TVCutterOptions options;
    std::string error;
    EXPECT_TRUE(ParseVCutterOptions(arguments, options, error)) << error;
    return options;
}

TEST(VCutterOptions, WithoutPortsRegistersTheDefaultComPort) {
    const TVCutterOptions options = Parsed({});
    EXPECT_EQ(options.ComNumber, kDefaultComNumber);
    EXPECT_FALSE(options.UsbIndex);
    EXPECT_EQ(options.DelayMs, kDefaultDelayMs);
}

TEST(VCutterOptions, HelpAndVersionAreAnsweredInsteadOfRunning) {
    EXPECT_TRUE(Parsed({"--version"}).ShowVersion);
    EXPECT_FALSE(Parsed({"--version"}).ShowHelp);
    EXPECT_TRUE(Parsed({"--com", "5", "-h"}).ShowHelp);
    EXPECT_FALSE(Parsed({"--com", "5"}).ShowVersion);
}

TEST(VCutterOptions, ReadsEveryOptionInBothSpellings) {
    const TVCutterOptions options =
        Parsed({"--usb=2", "--svg", "cuts.svg", "--error", "1.01,0.995", "--scale=1010,990",
                "--delay", "25", "--media", "600.25,2.5", "--settings", "31,90,300,6,0,1,1",
                "--model", "XK-9", "--firmware=3.01 1224", "--fault", "late:300", "--fault=no-cr"});
    EXPECT_FALSE(options.ComNumber) << "a USB port alone does not add the default COM port";
    EXPECT_EQ(options.UsbIndex, 2);
    EXPECT_EQ(options.SvgPath, "cuts.svg");
    EXPECT_DOUBLE_EQ(options.Cutter.ErrorX, 1.01);
    EXPECT_DOUBLE_EQ(options.Cutter.ErrorY, 0.995);
    EXPECT_EQ(options.Cutter.ScaleX, 1010);
    EXPECT_EQ(options.Cutter.ScaleY, 990);
    EXPECT_EQ(options.DelayMs, 25);
    EXPECT_EQ(options.Cutter.ClipUpperRightX, 24010);
    EXPECT_EQ(options.Cutter.ClipUpperRightY, 100);
    EXPECT_EQ(options.Cutter.MediaWeight, 31);
    EXPECT_EQ(options.Cutter.Force, 90);
    EXPECT_EQ(options.Cutter.OffsetThousandths, 300);
    EXPECT_EQ(options.Cutter.Quality, 6);
    EXPECT_EQ(options.Cutter.Smooth, 0);
    EXPECT_EQ(options.Cutter.AutoUnroll, 1);
    EXPECT_EQ(options.Cutter.MediaType, 1);
    EXPECT_EQ(options.Cutter.FirmwareModel, "XK-9");
    EXPECT_EQ(options.Cutter.FirmwareVersion, "3.01 1224");
    EXPECT_EQ(options.Faults.LateMs, 300);
    EXPECT_TRUE(options.Faults.NoCarriageReturn);
}

TEST(VCutterOptions, ComAutoLeavesTheNumberToBeChosen) {
    const TVCutterOptions options = Parsed({"--com", "auto"});
    EXPECT_TRUE(options.ComAuto);
    EXPECT_FALSE(options.ComNumber) << "no default number besides the one to be chosen";
}

// The number is above every serial port present, and never below the default.
TEST(VCutterOptions, ChosenComNumberIsAboveEveryPortInUse) {
    const std::vector<std::pair<std::vector<int>, std::optional<int>>> cases = {
        {{}, kDefaultComNumber},
        {{1, 2, 34, 65}, kDefaultComNumber},
        {{3, 200}, 201},
        {{230, 7}, 231},
        {{254}, 255},
        {{255}, std::nullopt},
    };
    for (const auto& [inUse, chosen] : cases) {
        EXPECT_EQ(ChooseComNumber(inUse), chosen) << testing::PrintToString(inUse);
    }
}

TEST(VCutterOptions, RejectsWhatCannotBeMeant) {
    const std::vector<std::vector<std::string>> wrong = {{"--com"},
                                                         {"--com", "0"},
                                                         {"--com", "256"},
                                                         {"--com", "7x"},
                                                         {"--com", "Auto"},
                                                         {"--usb", "4"},
                                                         {"--usb", "-1"},
                                                         {"--error", "1.01"},
                                                         {"--error", "0,1"},
                                                         {"--error", "1,nan"},
                                                         {"--error", "1e0,1"},
                                                         {"--scale", "-1,1000"},
                                                         {"--scale", "1000"},
                                                         {"--delay", "-1"},
                                                         {"--media", "0,100"},
                                                         {"--settings", "1,2,3"},
                                                         {"--model", ""},
                                                         {"--firmware", "2.10\r"},
                                                         {"--fault", "loud"},
                                                         {"--svg="},
                                                         {"--verbose"},
                                                         {"--version=2"},
                                                         {"COM3"}};
    for (const auto& arguments : wrong) {
        TVCutterOptions options;
        std::string error;
        EXPECT_FALSE(ParseVCutterOptions(arguments, options, error)) << arguments[0];
        EXPECT_FALSE(error.empty()) << arguments[0];
    }
}

} // namespace
} // namespace sim
