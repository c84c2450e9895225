// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/calibration.h"

#include "protocol/commands.h"
#include "protocol/size_checks.h"
#include "toolkit/conversions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace protocol {

namespace {

// A test cut shorter than this tells nothing of the scale.
constexpr double kShortestTestMm = 10;
// Readings typed to the ruler's steps are compared a hair generously, so that a spread of
// exactly kMisreadRulerSteps is accepted whatever the binary fractions of the numbers.
constexpr double kSpreadSlack = 1e-9;

// The ruler's own uncertainty: a reading is anywhere within half a step, evenly.
double ResolutionUncertaintyMm(double resolutionMm) {
    return resolutionMm / std::sqrt(12.0);
}

double Millimetres(double units) {
    return units / kUnitsPerMillimetre;
}

// The number of a size label ("610.25 mm", " 50.50 mm", "1000 mm"); nothing when the
// label holds none.
std::optional<double> LabelMillimetres(std::string_view label) {
    constexpr std::string_view unit = " mm";
    if (!label.ends_with(unit)) {
        return std::nullopt;
    }
    label.remove_suffix(unit.size());
    label.remove_prefix(std::min(label.find_first_not_of(' '), label.size()));
    double value = 0;
    const auto [end, error] = std::from_chars(label.data(), label.data() + label.size(), value);
    if (label.empty() || error != std::errc() || end != label.data() + label.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

TPlanAxis PlanAxis(const char* axis, const std::string& mediaLabel, std::int32_t scale,
                   double resolutionMm) {
    const std::optional<double> media = LabelMillimetres(mediaLabel);
    if (!media) {
        throw toolkit::EConvertError(std::string("The media size ") + axis + " is not known ('" +
                                     mediaLabel + "')");
    }
    if (scale <= 0) {
        throw toolkit::EConvertError("The cutter's scale value " + std::to_string(scale) +
                                     " is not above zero");
    }
    const double room = std::floor(*media - 2 * kMediaMarginMm);
    if (room < kShortestTestMm) {
        throw toolkit::EConvertError(std::string("The media's ") + axis + " of " +
                                     toolkit::FloatToStr(*media) +
                                     " mm leaves no room for a test cut");
    }
    const double expandedMm = kCoverageFactor * ResolutionUncertaintyMm(resolutionMm);
    // At length L the uncertainty is expandedMm / L of the length; one step is 1 / scale.
    const double oneStepMm = std::ceil(expandedMm * scale);
    TPlanAxis plan;
    plan.MediaMm = *media;
    plan.TestMm = std::min(std::max(oneStepMm, kWizardTestMm), room);
    plan.Expanded = {expandedMm, expandedMm / plan.TestMm};
    plan.ExpandedSteps = plan.Expanded.Steps(scale);
    plan.ReachesOneStep = plan.TestMm >= oneStepMm;
    return plan;
}

// GUM type A (the spread of the mean) combined with type B (the ruler), expanded.
TAxisReadings ReadingsMean(const std::vector<double>& readingUnits, double resolutionMm) {
    long double sum = 0;
    for (const double reading : readingUnits) {
        sum += reading;
    }
    const auto count = static_cast<double>(readingUnits.size());
    TAxisReadings readings;
    readings.MeanUnits = static_cast<double>(sum / count);
    double squares = 0;
    for (const double reading : readingUnits) {
        squares += std::pow(Millimetres(reading - readings.MeanUnits), 2);
    }
    const double spreadOfMeanMm =
        readingUnits.size() > 1 ? std::sqrt(squares / (count - 1) / count) : 0;
    const double standardMm = std::hypot(spreadOfMeanMm, ResolutionUncertaintyMm(resolutionMm));
    readings.Expanded.Millimetres = kCoverageFactor * standardMm;
    readings.Expanded.Fraction = readings.Expanded.Millimetres / Millimetres(readings.MeanUnits);
    return readings;
}

// Each reading as the wizard checks its one; then the spread, naming its two ends.
std::optional<std::string> ReadingsRefusal(const std::string& fieldName,
                                           const std::vector<double>& readingUnits,
                                           double testUnits, double resolutionMm) {
    for (const double reading : readingUnits) {
        if (auto refusal = MeasurementRefusal(fieldName, reading, testUnits)) {
            return refusal;
        }
    }
    const auto [lowest, highest] = std::minmax_element(readingUnits.begin(), readingUnits.end());
    const double allowedMm = kMisreadRulerSteps * resolutionMm;
    if (lowest == readingUnits.end() ||
        Millimetres(*highest - *lowest) <= allowedMm * (1 + kSpreadSlack)) {
        return std::nullopt;
    }
    return fieldName + ": the readings " + toolkit::FloatToStr(Millimetres(*lowest)) + " and " +
           toolkit::FloatToStr(Millimetres(*highest)) + " mm lie more than " +
           std::to_string(kMisreadRulerSteps) + " ruler steps (" + toolkit::FloatToStr(allowedMm) +
           " mm) apart: one of them is misread. Please measure again.";
}

} // namespace

TAxisMeasurement MeasureAxis(const std::string& testField, const std::string& testText,
                             const std::string& readingField,
                             const std::vector<std::string>& readingTexts, double resolutionMm) {
    TAxisMeasurement measurement;
    measurement.TestUnits = LengthUnitsFromText(testText, testField);
    for (const std::string& text : readingTexts) {
        measurement.ReadingUnits.push_back(LengthUnitsFromText(text, readingField));
    }
    if (measurement.ReadingUnits.empty()) {
        throw toolkit::EConvertError(readingField + ": no reading given");
    }
    if (const auto refusal = ReadingsRefusal(readingField, measurement.ReadingUnits,
                                             measurement.TestUnits, resolutionMm)) {
        throw toolkit::EConvertError(*refusal);
    }
    measurement.Readings = ReadingsMean(measurement.ReadingUnits, resolutionMm);
    return measurement;
}

TAxisCorrection CorrectAxis(std::int32_t scale, const TAxisReadings& readings, double testUnits,
                            bool force) {
    TAxisCorrection correction;
    correction.Computed = NewScaleValue(scale, readings.MeanUnits, testUnits);
    correction.ExpandedSteps = readings.Expanded.Steps(correction.Computed);
    const double change = std::abs(static_cast<double>(correction.Computed) - scale);
    correction.Kept = !force && (change < 1 || change <= correction.ExpandedSteps);
    correction.Value = correction.Kept ? scale : correction.Computed;
    return correction;
}

TCalibrationPlan PlanCalibration(const CutterSettings& settings, double resolutionMm) {
    return {PlanAxis("X", settings.PollSizeX, settings.ScaleX, resolutionMm),
            PlanAxis("Y", settings.PollSizeY, settings.ScaleY, resolutionMm)};
}

} // namespace protocol
