// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The checks on the sizes the operator keys into the wizard, or gives tessaro-query
// calibrate. The scale written into the cutter's flash is computed from them,
// so an implausible size never goes on.

#include <optional>
#include <string>

namespace protocol {

// A measurement further than this fraction of the test size from it is taken for a
// typing error.
inline constexpr int kMeasurementTolerancePercent = 10;

// The size in a field, in plotter units, read exactly as the command builder reads it, so
// a measurement keyed in as the test size equals the test size it is compared with. Throws
// toolkit::EConvertError when the text is not a number, or the size is not above zero (the
// message names the field).
double SizeFromText(const std::string& text, const std::string& fieldName);

// Why a measured size (in plotter units) is refused, naming the field and the rule; nothing
// when it lies within the tolerance of the test size of the last test cut.
std::optional<std::string> MeasurementRefusal(const std::string& fieldName, double measuredUnits,
                                              double testUnits);

} // namespace protocol
