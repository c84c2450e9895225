// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/commands.h"

#include "protocol/queries.h"
#include "toolkit/conversions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace protocol {

namespace {

std::string Escaped(const char* command) {
    return std::string(1, kEsc) + command;
}

bool IsAboveZero(long double value) {
    return std::isfinite(value) && value > 0;
}

std::string RectangleText(const std::string& width, const std::string& height) {
    return "VS30;SP1;PR;PU0,0;PD0,0," + width + ",0,0," + height + ",-" + width + ",0,0,-" +
           height + ";PU;";
}

// Truncates toward zero; a value below one or beyond 32 bits is never a usable length or
// scale, so it is refused rather than written to the cutter.
std::int32_t TruncatedPositive(long double value, const char* what) {
    if (!(value >= 1.0L && value < 2147483648.0L)) {
        throw toolkit::EConvertError(std::string(what) + " is out of range");
    }
    return static_cast<std::int32_t>(value);
}

// The number in a size field in extended precision. The toolkit's conversion decides what
// is a number and words the refusal; the text it accepted is then read again to 64 bits,
// so the size keeps every digit the operator typed that a double field can hold.
long double ExtendedFromText(const std::string& text) {
    toolkit::StrToFloat(text);
    std::string_view number = text;
    number.remove_prefix(std::min(number.find_first_not_of(' '), number.size()));
    number = number.substr(0, number.find_last_not_of(' ') + 1);
    if (!number.empty() && number.front() == '+') {
        number.remove_prefix(1);
    }
    long double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc{} || end != number.data() + number.size()) {
        throw toolkit::EConvertError("'" + text + "' is not a valid floating point value");
    }
    return value;
}

} // namespace

std::string QueryCommandText(TCommandCode code) {
    return std::string(QueryOf(code).Command);
}

double LengthUnitsFromText(const std::string& millimetreText, const std::string& fieldName) {
    const auto units = static_cast<double>(ExtendedFromText(millimetreText) * kUnitsPerMillimetre);
    if (!IsAboveZero(units)) {
        throw toolkit::EConvertError(fieldName + ": the size must be a number above zero ('" +
                                     millimetreText + "')");
    }
    if (units < kMinLengthUnits || units > kMaxLengthUnits) {
        throw toolkit::EConvertError(fieldName + ": the size must be from " +
                                     toolkit::FloatToStr(kMinLengthUnits / kUnitsPerMillimetre) +
                                     " to " +
                                     toolkit::FloatToStr(kMaxLengthUnits / kUnitsPerMillimetre) +
                                     " mm ('" + millimetreText + "')");
    }
    return units;
}

std::string TestDrawText(double width, double height) {
    return RectangleText(toolkit::FloatToStr(width), toolkit::FloatToStr(height));
}

std::string TestDrawText(std::int32_t width, std::int32_t height) {
    return RectangleText(std::to_string(width), std::to_string(height));
}

std::int32_t CorrectedLength(double testDraw, double measured) {
    if (!IsAboveZero(testDraw) || !IsAboveZero(measured)) {
        throw toolkit::EConvertError("The test size and the measured size must be above zero");
    }
    const long double corrected =
        static_cast<long double>(testDraw) / measured * static_cast<long double>(testDraw);
    const std::int32_t length = TruncatedPositive(corrected, "The corrected size");
    if (length > kMaxLengthUnits) {
        throw toolkit::EConvertError("The corrected size is out of range");
    }
    return length;
}

std::int32_t NewScaleValue(std::int32_t scale, double measured, double testDraw) {
    if (scale <= 0) {
        throw toolkit::EConvertError("The cutter's scale value " + std::to_string(scale) +
                                     " is not above zero");
    }
    if (!IsAboveZero(testDraw) || !IsAboveZero(measured)) {
        throw toolkit::EConvertError("The test size and the measured size must be above zero");
    }
    const long double ratio = static_cast<long double>(measured) * 100.0L / testDraw * 0.01L;
    return TruncatedPositive(static_cast<long double>(scale) * ratio, "The new scale value");
}

std::string WriteScaleText(std::int32_t scaleX, std::int32_t scaleY) {
    return Escaped(".C6;1;") + std::to_string(scaleX) + ":" + Escaped(".C6;0;") +
           std::to_string(scaleY) + ":";
}

} // namespace protocol
