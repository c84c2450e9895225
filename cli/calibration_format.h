// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What tessaro-query calibrate prints: the plan of a test cut, and a calibration's values
// with the expanded (k = 2) uncertainty of each, in flash steps, in percent and in
// millimetres ("Scale X: 1010 +/- 0.6 steps (0.06 %, 0.29 mm)"), or one JSON object.

#include "cli/output_format.h"
#include "protocol/calibration.h"
#include "protocol/cutter_settings.h"

#include <string>

namespace cli {

// A percentage or a length of an uncertainty: two decimals, more where they would show
// nothing but zeros (0.29, 0.06, 0.006).
std::string RoundedText(double value);

// The test size of `plan`, the uncertainty one reading of it gives, and the commands that
// cut and measure it on `port`.
std::string FormatPlan(const protocol::TCalibrationPlan& plan,
                       const protocol::CutterSettings& settings, double resolutionMm,
                       const std::string& port, TOutputStyle style);

struct TAxisCalibration {
    protocol::TAxisCorrection Correction;
    protocol::TUncertainty Expanded;
};

struct TCalibrationResult {
    TAxisCalibration X;
    TAxisCalibration Y;
};

// The cutter's values now and the uncertainty of the correction on each axis, an axis
// kept marked so; when both are kept, the line that says nothing was written.
std::string FormatCalibration(const TCalibrationResult& result,
                              const protocol::CutterSettings& settings, const std::string& port,
                              TOutputStyle style);

} // namespace cli
