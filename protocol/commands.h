// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace protocol {

enum TCommandCode : std::uint8_t {
    ccPollSize,
    ccSettingsQuery,
    ccFirmwareQuery,
    ccTestDraw,
    ccCorrectedTestDraw,
    ccWriteScale,
    ccScaleQuery,
};

inline constexpr char kEsc = '\x1B';
inline constexpr int kUnitsPerMillimetre = 40;

// The bytes of ccPollSize, ccSettingsQuery, ccFirmwareQuery and ccScaleQuery.
std::string QueryCommandText(TCommandCode code);

// The lengths a command may carry, in plotter units: at least one unit (the cutter's
// step), at most the largest HP-GL coordinate, so the number is written without an
// exponent and read by the cutter as written.
inline constexpr double kMinLengthUnits = 1;
inline constexpr double kMaxLengthUnits = 1073741823; // 2^30 - 1

// A length typed in millimetres, in plotter units: the number read and multiplied by 40 in
// extended precision, then rounded once to the double the size fields hold, so it is the
// double nearest the typed length × 40 and the same text always gives the same units.
// Throws toolkit::EConvertError when the text is not a number, or the length is not above
// zero and finite, or lies outside the lengths a command may carry; the message names
// `fieldName`.
double LengthUnitsFromText(const std::string& millimetreText, const std::string& fieldName);

// The HP-GL test rectangle, `width` × `height` plotter units, numbers as FloatToStr writes
// them.
std::string TestDrawText(double width, double height);
std::string TestDrawText(std::int32_t width, std::int32_t height);

// (testDraw ÷ measured) × testDraw in extended precision, truncated toward zero.
// Throws toolkit::EConvertError when an operand is not above zero or the result lies
// outside the lengths a command may carry.
std::int32_t CorrectedLength(double testDraw, double measured);

// scale × ((measured × 100 ÷ testDraw) × 0.01) in extended precision, truncated toward
// zero. Throws toolkit::EConvertError when an operand is not above zero or the result
// does not fit 32 bits.
std::int32_t NewScaleValue(std::int32_t scale, double measured, double testDraw);

// ESC ".C6;1;" x ":" ESC ".C6;0;" y ":".
std::string WriteScaleText(std::int32_t scaleX, std::int32_t scaleY);

} // namespace protocol
