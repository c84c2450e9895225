// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/size_checks.h"

#include "protocol/commands.h"
#include "toolkit/conversions.h"

#include <cmath>

namespace protocol {

namespace {

constexpr double kMillimetresPerUnit = 1.0 / kUnitsPerMillimetre;

} // namespace

double SizeFromText(const std::string& text, const std::string& fieldName) {
    return protocol::LengthUnitsFromText(text, fieldName);
}

std::optional<std::string> MeasurementRefusal(const std::string& fieldName, double measuredUnits,
                                              double testUnits) {
    if (!(std::isfinite(testUnits) && testUnits > 0)) {
        return fieldName + ": no test cut has been made, so there is no test size to compare "
                           "the measurement with. Please start again with Scaling.";
    }
    // Compared in plotter units and scaled by 100, so a deviation of exactly the tolerance
    // is still accepted.
    if (std::fabs(measuredUnits - testUnits) * 100 <= testUnits * kMeasurementTolerancePercent) {
        return std::nullopt;
    }
    return fieldName + ": " + toolkit::FloatToStr(measuredUnits * kMillimetresPerUnit) +
           " mm is more than " + std::to_string(kMeasurementTolerancePercent) +
           " % away from the " + toolkit::FloatToStr(testUnits * kMillimetresPerUnit) +
           " mm test size. Please measure again.";
}

} // namespace protocol
