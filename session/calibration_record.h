// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the journal keeps of a calibration beyond the test size and the mean it wrote
// from: every reading, the ruler, the uncertainty of the mean, and the media the cut was
// made on, so a later look can tell how far the values written may be trusted.

#include "session/exchange_state.h"

#include <QJsonObject>
#include <QJsonValue>

#include <optional>
#include <string>
#include <vector>

namespace session {

struct TCalibrationRecord {
    std::vector<double> ReadingsXMm;
    std::vector<double> ReadingsYMm;
    double ResolutionMm = 0;
    // The expanded (k = 2) uncertainty of the mean, in millimetres and in percent of it.
    TPlotterSize UncertaintyMm{};
    TPlotterSize UncertaintyPercent{};
    std::string MediaType; // as the settings show it, empty when not read
    std::string MediaWeight;
};

QJsonObject CalibrationObject(const TCalibrationRecord& record);
// Nothing when the value is not a calibration's object.
std::optional<TCalibrationRecord> CalibrationOf(const QJsonValue& value);

} // namespace session
