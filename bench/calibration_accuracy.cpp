// SPDX-License-Identifier: GPL-3.0-or-later
// How well a cutter is calibrated, over many simulated cutters and operators: each axis of
// each cutter cuts (1 + e) times the length it is told, e drawn evenly within +/- 2 %, at a
// flash scale drawn within 2 % of 1000 or of 10000; the operator reads each cut with a noise
// of 0.2 mm (normal) to the nearest 0.5 mm. The real plan, readings and arithmetic then
// give the new scale, and the remaining error is how far a cut at that scale is from its
// nominal length. Three ways: the wizard's default 50 x 50 mm with one reading (written
// whenever it differs from the test size, as the wizard does); the planned size with one
// reading; the planned size with three readings; and, for the advice, the longest test the
// media allows with three readings. Prints the median, 95th percentile and worst remaining
// error, in percent and in flash steps, per way and scale; beside them the 95th percentile
// before the new value is truncated to the flash's whole number (what the measurement alone
// leaves), and how many axes were kept or had their readings refused.
//
// Usage: calibration_accuracy [--cutters N] [--seed S]

#include "protocol/calibration.h"
#include "protocol/commands.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kMechanicalErrorFraction = 0.02;
constexpr double kFlashSpreadFraction = 0.02;
constexpr double kReadingNoiseMm = 0.2;
constexpr double kRulerMm = protocol::kDefaultResolutionMm;
constexpr const char* kMediaX = "600 mm";
constexpr const char* kMediaY = "1250 mm";

enum TTestSize : std::uint8_t { tsWizard, tsPlanned, tsLongest };

struct TWay {
    const char* Name;
    TTestSize Size;
    int Readings;
};

constexpr TWay kWays[] = {
    {"wizard 50 x 50 mm, 1 reading", tsWizard, 1},
    {"planned size, 1 reading", tsPlanned, 1},
    {"planned size, 3 readings", tsPlanned, 3},
    {"longest the media allows, 3", tsLongest, 3},
};

// One axis of one cutter: the flash value it holds and the real value that would cut exact.
struct TAxis {
    std::int32_t Scale;
    double TrueScale;
};

// The remaining errors of one way: fractions of the nominal length, the same in steps, and
// in steps of the new value before it is truncated to the whole number the flash holds.
struct TErrors {
    std::vector<double> Fractions;
    std::vector<double> Steps;
    std::vector<double> UntruncatedSteps;
    int Refused = 0;
    int Kept = 0;
};

class TOperator {
public:
    explicit TOperator(std::uint64_t seed) : FRandom(seed) {}

    // What the ruler shows of a cut `lengthMm` long, as typed.
    std::string Read(double lengthMm) {
        const double seen = lengthMm + FNoise(FRandom);
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", std::round(seen / kRulerMm) * kRulerMm);
        return text;
    }

private:
    std::mt19937_64 FRandom;
    std::normal_distribution<double> FNoise{0, kReadingNoiseMm};
};

std::string Millimetres(double length) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", length);
    return text;
}

// The flash value after one calibration of `axis` the given way, on a test `testMm` long.
// Throws toolkit::EConvertError where the readings are refused.
std::int32_t Calibrated(const TAxis& axis, const TWay& way, double testMm, TOperator& reader,
                        TErrors& errors) {
    const double cutMm = testMm * axis.TrueScale / axis.Scale;
    std::vector<std::string> readings;
    for (int reading = 0; reading < way.Readings; ++reading) {
        readings.push_back(reader.Read(cutMm));
    }
    const protocol::TAxisMeasurement measured =
        protocol::MeasureAxis("X", Millimetres(testMm), "Length X", readings, kRulerMm);
    errors.UntruncatedSteps.push_back(
        std::abs(axis.TrueScale - axis.Scale * measured.Readings.MeanUnits / measured.TestUnits));
    if (way.Size == tsWizard) {
        // The wizard writes nothing only for a reading equal to the test size.
        return measured.Readings.MeanUnits == measured.TestUnits
                   ? axis.Scale
                   : protocol::NewScaleValue(axis.Scale, measured.Readings.MeanUnits,
                                             measured.TestUnits);
    }
    const protocol::TAxisCorrection correction =
        protocol::CorrectAxis(axis.Scale, measured.Readings, measured.TestUnits, false);
    errors.Kept += correction.Kept ? 1 : 0;
    return correction.Value;
}

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[index];
}

void PrintRow(const char* way, const TErrors& errors) {
    char untruncated[16] = "     -";
    if (!errors.UntruncatedSteps.empty()) {
        std::snprintf(untruncated, sizeof untruncated, "%6.2f",
                      Percentile(errors.UntruncatedSteps, 0.95));
    }
    std::printf("  %-30s %7.4f %7.4f %7.4f   %6.2f %6.2f %6.2f   %s   %5d %5d\n", way,
                Percentile(errors.Fractions, 0.5) * 100, Percentile(errors.Fractions, 0.95) * 100,
                Percentile(errors.Fractions, 1) * 100, Percentile(errors.Steps, 0.5),
                Percentile(errors.Steps, 0.95), Percentile(errors.Steps, 1), untruncated,
                errors.Kept, errors.Refused);
}

void RunScale(std::int32_t nominal, int cutters, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> mechanical(-kMechanicalErrorFraction,
                                                      kMechanicalErrorFraction);
    std::uniform_real_distribution<double> flash(1 - kFlashSpreadFraction,
                                                 1 + kFlashSpreadFraction);
    TOperator reader(seed + 1);
    protocol::CutterSettings settings;
    settings.PollSizeX = kMediaX;
    settings.PollSizeY = kMediaY;
    settings.ScaleX = settings.ScaleY = nominal;
    const protocol::TCalibrationPlan plan = protocol::PlanCalibration(settings, kRulerMm);
    std::printf("\nFlash scales near %d (one step %.4f %%); planned test %g x %g mm on %s x %s "
                "media\n",
                nominal, 100.0 / nominal, plan.X.TestMm, plan.Y.TestMm, kMediaX, kMediaY);
    std::printf("  %-30s %-23s   %-20s   %-6s   %5s %5s\n", "remaining error",
                "percent: median p95 worst", "steps: median p95 worst", "untrunc", "kept",
                "refused");
    TErrors before;
    std::vector<TErrors> after(std::size(kWays));
    for (int cutter = 0; cutter < cutters; ++cutter) {
        for (const protocol::TPlanAxis& planned : {plan.X, plan.Y}) {
            const auto scale = static_cast<std::int32_t>(std::lround(nominal * flash(random)));
            const TAxis axis{scale, scale * (1 + mechanical(random))};
            before.Fractions.push_back(std::abs(axis.TrueScale / scale - 1));
            before.Steps.push_back(std::abs(axis.TrueScale - scale));
            const double testMm[] = {protocol::kWizardTestMm, planned.TestMm,
                                     std::floor(planned.MediaMm - 2 * protocol::kMediaMarginMm)};
            for (std::size_t way = 0; way < std::size(kWays); ++way) {
                try {
                    const std::int32_t written =
                        Calibrated(axis, kWays[way], testMm[kWays[way].Size], reader, after[way]);
                    after[way].Fractions.push_back(std::abs(axis.TrueScale / written - 1));
                    after[way].Steps.push_back(std::abs(axis.TrueScale - written));
                } catch (const std::exception&) {
                    ++after[way].Refused;
                }
            }
        }
    }
    PrintRow("before calibration", before);
    for (std::size_t way = 0; way < std::size(kWays); ++way) {
        PrintRow(kWays[way].Name, after[way]);
    }
}

} // namespace

int main(int argc, char** argv) {
    int cutters = 20000;
    std::uint64_t seed = 38;
    for (int index = 1; index + 1 < argc; index += 2) {
        const std::string option = argv[index];
        if (option == "--cutters") {
            cutters = std::max(1, std::atoi(argv[index + 1]));
        } else if (option == "--seed") {
            seed = std::strtoull(argv[index + 1], nullptr, 10);
        }
    }
    std::printf("%d cutters per scale, both axes each; mechanical error within +/- %g %%, "
                "reading noise %g mm, ruler %g mm, seed %llu\n",
                cutters, kMechanicalErrorFraction * 100, kReadingNoiseMm, kRulerMm,
                static_cast<unsigned long long>(seed));
    RunScale(1000, cutters, seed);
    RunScale(10000, cutters, seed + 2);
    return 0;
}
