// SPDX-License-Identifier: GPL-3.0-or-later
// The numbers the calibration writes, over every measurement an operator can key in with two
// decimals, against an oracle written here from the rules alone:
//  - a size typed in millimetres is read in extended precision, multiplied by 40 in extended
//    precision and kept in a double field;
//  - corrected cut = (test ÷ measured) × test, new scale = scale × ((measured × 100 ÷ test) ×
//    0.01), each step in extended precision in that order, truncated toward zero at the end;
//  - a size below one plotter unit or beyond the largest HP-GL coordinate, a corrected length
//    beyond that coordinate, and a length or scale value below one are refused, never written.
// And the size labels: the poll-size field × 0.025 in double precision, printf "%5.2f mm".

#include "protocol/commands.h"
#include "protocol/reply_decoding.h"
#include "toolkit/conversions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kRefused = "refused";

// Collects differences; reports their count and the first few in one assertion.
struct TDifferences {
    static constexpr std::size_t kShown = 8;
    std::size_t Count = 0;
    std::string First;

    template <typename Describe>
    void Compare(const Describe& what, const char* part, const std::string& expected,
                 const std::string& got) {
        if (expected == got) {
            return;
        }
        if (++Count <= kShown) {
            First += "\n  " + what(part) + ": expected '" + expected + "', got '" + got + "'";
        }
    }
};

std::string TwoDecimals(int hundredths) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%02d", hundredths / 100, hundredths % 100);
    return text;
}

// --- the oracle ---

constexpr double kSmallestUnits = 1;         // one step of the cutter
constexpr double kLargestUnits = 1073741823; // the largest HP-GL coordinate

// A typed size, in plotter units; nothing when it lies outside what a command may carry.
std::optional<double> OracleUnits(const std::string& millimetres) {
    const long double typed = std::strtold(millimetres.c_str(), nullptr);
    const auto units = static_cast<double>(typed * 40.0L);
    if (units < kSmallestUnits || units > kLargestUnits) {
        return std::nullopt;
    }
    return units;
}

long double OracleCorrected(double test, double measured) {
    long double value = test;
    value = value / measured;
    value = value * test;
    return value < kLargestUnits + 1.0L ? value : 0;
}

long double OracleNewScale(std::int32_t scale, double measured, double test) {
    long double ratio = measured;
    ratio = ratio * 100;
    ratio = ratio / test;
    ratio = ratio * 0.01L; // the extended value nearest to a hundredth
    return scale * ratio;
}

constexpr const char* kRectangleFormat =
    "VS30;SP1;PR;PU0,0;PD0,0,%lld,0,0,%lld,-%lld,0,0,-%lld;PU;";
constexpr const char* kWriteScaleFormat = "\x1B.C6;1;%lld:\x1B.C6;0;%lld:";

// Values below one are refused, never written.
std::string OracleText(long double x, long double y, const char* format) {
    if (!(x >= 1 && y >= 1)) {
        return kRefused;
    }
    const auto xInteger = static_cast<long long>(x);
    const auto yInteger = static_cast<long long>(y);
    char text[128];
    std::snprintf(text, sizeof text, format, xInteger, yInteger, xInteger, yInteger);
    return text;
}

// --- the program's builders ---

template <typename Build>
std::string ProgramText(Build build) {
    try {
        return build();
    } catch (const toolkit::EConvertError&) {
        return kRefused;
    } catch (const std::bad_optional_access&) { // the size was refused as it was read
        return kRefused;
    }
}

// One typed measurement, as the oracle and as the program read it.
struct TMeasurement {
    std::string Text;
    std::optional<double> Oracle;
    std::optional<double> Program;
};

std::vector<TMeasurement> EveryHundredthUpTo(int lastHundredths) {
    std::vector<TMeasurement> measurements;
    measurements.reserve(static_cast<std::size_t>(lastHundredths));
    for (int hundredths = 1; hundredths <= lastHundredths; ++hundredths) {
        TMeasurement measurement{TwoDecimals(hundredths), {}, {}};
        measurement.Oracle = OracleUnits(measurement.Text);
        try {
            measurement.Program = protocol::LengthUnitsFromText(measurement.Text, "Length X");
        } catch (const toolkit::EConvertError&) {
        }
        measurements.push_back(std::move(measurement));
    }
    return measurements;
}

struct TRun {
    const char* TestSize;
    std::int32_t ScaleX;
    std::int32_t ScaleY;
};

TEST(ScaleArithmetic, EveryHundredthOfAMillimetreWritesWhatTheRulesGive) {
    const std::vector<TMeasurement> measurements = EveryHundredthUpTo(100000); // 1000.00 mm
    const TRun runs[] = {
        {"50", 1000, 10000}, {"50", 10000, 1000}, {"100", 1000, 10000}, {"100", 10000, 1000}};
    TDifferences differences;
    for (const TRun& run : runs) {
        const double oracleTest = *OracleUnits(run.TestSize);
        const double programTest = protocol::LengthUnitsFromText(run.TestSize, "X");
        for (std::size_t index = 0; index < measurements.size(); ++index) {
            // Each measurement once on X and once on Y within the four runs.
            const TMeasurement& x = measurements[index];
            const TMeasurement& y = measurements[measurements.size() - 1 - index];
            const auto what = [&](const char* command) {
                return std::string(run.TestSize) + " mm test, scale " + std::to_string(run.ScaleX) +
                       "/" + std::to_string(run.ScaleY) + ", " + x.Text + " x " + y.Text + " " +
                       command;
            };
            const bool oracleReads = x.Oracle && y.Oracle;
            differences.Compare(what, "cut",
                                oracleReads ? OracleText(OracleCorrected(oracleTest, *x.Oracle),
                                                         OracleCorrected(oracleTest, *y.Oracle),
                                                         kRectangleFormat)
                                            : kRefused,
                                ProgramText([&] {
                                    return protocol::TestDrawText(
                                        protocol::CorrectedLength(programTest, x.Program.value()),
                                        protocol::CorrectedLength(programTest, y.Program.value()));
                                }));
            differences.Compare(
                what, "scale",
                oracleReads ? OracleText(OracleNewScale(run.ScaleX, *x.Oracle, oracleTest),
                                         OracleNewScale(run.ScaleY, *y.Oracle, oracleTest),
                                         kWriteScaleFormat)
                            : kRefused,
                ProgramText([&] {
                    return protocol::WriteScaleText(
                        protocol::NewScaleValue(run.ScaleX, x.Program.value(), programTest),
                        protocol::NewScaleValue(run.ScaleY, y.Program.value(), programTest));
                }));
        }
    }
    EXPECT_EQ(differences.Count, 0U) << differences.First;
}

// The oracle itself reproduces the worked values (test, measured, scale -> cut, new scale).
TEST(ScaleArithmetic, OracleGivesTheWorkedValues) {
    struct TWorked {
        const char* Test;
        const char* Measured;
        std::int32_t Scale;
        long long Cut;
        long long NewScale;
    };
    for (const TWorked& worked :
         {TWorked{"100", "101", 10000, 3960, 10100}, TWorked{"100", "99", 10000, 4040, 9899},
          TWorked{"50", "50.5", 1000, 1980, 1010}, TWorked{"50", "49.8", 1000, 2008, 995}}) {
        SCOPED_TRACE(std::string(worked.Measured) + " on " + worked.Test);
        const double test = OracleUnits(worked.Test).value();
        const double measured = OracleUnits(worked.Measured).value();
        EXPECT_EQ(static_cast<long long>(OracleCorrected(test, measured)), worked.Cut);
        EXPECT_EQ(static_cast<long long>(OracleNewScale(worked.Scale, measured, test)),
                  worked.NewScale);
    }
}

TEST(SizeLabels, EveryUnitCountShowsTheDoubleMillimetres) {
    TDifferences differences;
    protocol::CutterSettings settings;
    for (int units = 4000; units <= 100000; ++units) {
        const std::string field = std::to_string(units);
        const double millimetres = std::strtod(field.c_str(), nullptr) * 0.025;
        const int whole = units / 40;
        char expected[64];
        if (millimetres - whole > 0) {
            std::snprintf(expected, sizeof expected, "%5.2f mm", millimetres);
        } else {
            std::snprintf(expected, sizeof expected, "%d mm", whole);
        }
        protocol::DecodeSizeReply("0,0," + field + ",4000\r", settings, {});
        differences.Compare([&](const char*) { return field; }, "", expected, settings.PollSizeX);
    }
    EXPECT_EQ(differences.Count, 0U) << differences.First;
}

} // namespace
