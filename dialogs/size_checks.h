#pragma once

// The checks on the sizes the operator keys into the wizard. The scale the wizard writes
// into the cutter's flash is computed from them, so an implausible size never goes on.

#include <optional>
#include <string>

namespace dialogs {

// A measurement further than this fraction of the test size from it is taken for a
// typing error.
inline constexpr int kMeasurementTolerancePercent = 10;

// The number of millimetres in a size field. Throws toolkit::EConvertError when the text
// is not a number, or the size is not above zero (the message names the field).
double SizeFromText(const std::string& text, const std::string& fieldName);

// Why a measured size is refused, naming the field and the rule; nothing when it lies
// within the tolerance of the test size (in plotter units) of the last test cut.
std::optional<std::string> MeasurementRefusal(const std::string& fieldName,
                                              double measuredMillimetres, double testUnits);

} // namespace dialogs
