// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>

namespace toolkit {

// The toolkit's conversion error: a text that is not a number, or a number that cannot
// be used. Handlers let it escape to the event guard, which shows its message.
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const std::string& message)
        : std::runtime_error(message), FMessage(message) {}
    explicit EConvertError(const char* message) : EConvertError(std::string(message)) {}

    // The whole message: what() ends at the first zero byte a converted text may hold.
    const std::string& Message() const { return FMessage; }

private:
    std::string FMessage;
};

// Optional sign and decimal digits within the 32-bit range; surrounding blanks are not
// allowed. Throws EConvertError "'<text>' is not a valid integer value".
int StrToInt(const std::string& text);

// As StrToInt, also a fraction and an exponent; the decimal separator is always a point,
// whatever the locale. Spaces before and after the number are skipped; "nan", "inf" and
// numbers beyond the range of a double are refused. Throws EConvertError "'<text>' is not a valid
// floating point value".
double StrToFloat(const std::string& text);

// The text with a to z turned into A to Z; every other byte as it was.
std::string UpperCase(std::string text);

// Shortest text with at most 15 significant digits, no trailing zeros, a point as the
// separator and no exponent at ordinary sizes: 4000, 400.4, -0.5.
std::string FloatToStr(double value);

} // namespace toolkit
