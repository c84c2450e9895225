// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The calibration beyond one reading: the test size that lets a ruler tell one step of the
// cutter's flash scale, the mean of several readings, how uncertain that mean is, and
// whether the correction it asks for is larger than that uncertainty. The new scale itself
// is always the wizard's arithmetic (NewScaleValue), on the mean in place of the one
// measurement.

#include "protocol/cutter_settings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace protocol {

// A ruler read to the nearest half millimetre.
inline constexpr double kDefaultResolutionMm = 0.5;
// Readings further apart than this many ruler steps hold a misreading.
inline constexpr int kMisreadRulerSteps = 4;
// The uncertainty told is expanded by this factor (about 95 % coverage).
inline constexpr double kCoverageFactor = 2;
// A planned test cut keeps this far from each edge of the media.
inline constexpr double kMediaMarginMm = 10;
// The wizard's test size: a plan never proposes a shorter one where the media allows it.
inline constexpr double kWizardTestMm = 50;

// An expanded (k = 2) uncertainty of a length.
struct TUncertainty {
    double Millimetres = 0;
    double Fraction = 0; // of the length

    double Percent() const { return Fraction * 100; }
    // In steps of a flash scale value.
    double Steps(std::int32_t scale) const { return Fraction * scale; }
};

// One axis's readings: their mean (plotter units) and its uncertainty, the readings'
// spread over the root of their number combined with the ruler's resolution over root 12,
// which repetition does not reduce. One reading's mean is that reading, to the bit.
struct TAxisReadings {
    double MeanUnits = 0;
    TUncertainty Expanded;
};

// One axis of a calibration, from the texts typed in millimetres.
struct TAxisMeasurement {
    double TestUnits = 0;
    std::vector<double> ReadingUnits;
    TAxisReadings Readings;
};

// The test length and every reading read as the wizard's fields are (the messages name
// `testField` and `readingField`), each reading held to the wizard's plausibility rule
// (within 10 % of the test size), and the readings no more than kMisreadRulerSteps ruler
// steps apart. Throws toolkit::EConvertError with the refusal, naming the two readings
// furthest apart where they are not.
TAxisMeasurement MeasureAxis(const std::string& testField, const std::string& testText,
                             const std::string& readingField,
                             const std::vector<std::string>& readingTexts, double resolutionMm);

// What a calibration does with one axis of the cutter's scale `scale`.
struct TAxisCorrection {
    std::int32_t Computed = 0; // the wizard's arithmetic on the mean
    std::int32_t Value = 0;    // what the write carries: Computed, or `scale` where kept
    bool Kept = false;         // the correction lies within its own uncertainty
    double ExpandedSteps = 0;  // the uncertainty in steps of Computed
};

// Kept where Computed differs from `scale` by no more than the expanded uncertainty (in
// steps) or not at all, unless `force`. Throws toolkit::EConvertError as NewScaleValue.
TAxisCorrection CorrectAxis(std::int32_t scale, const TAxisReadings& readings, double testUnits,
                            bool force);

// One axis of a plan: the test length in whole millimetres and the uncertainty one
// reading of it gives.
struct TPlanAxis {
    double TestMm = 0;
    double MediaMm = 0;
    TUncertainty Expanded;
    double ExpandedSteps = 0; // at the cutter's scale value
    bool ReachesOneStep = false;
};

struct TCalibrationPlan {
    TPlanAxis X;
    TPlanAxis Y;
};

// From the media size of a Poll Size reply and the scale values of a scale reply in
// `settings`: per axis, the shortest length from kWizardTestMm up whose uncertainty is at
// most one flash step, or else the longest that keeps kMediaMarginMm from the edges.
// Throws toolkit::EConvertError when the media size or a scale value is not known, or the
// media leaves no room for a test cut.
TCalibrationPlan PlanCalibration(const CutterSettings& settings, double resolutionMm);

} // namespace protocol
