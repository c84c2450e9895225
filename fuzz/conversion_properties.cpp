// SPDX-License-Identifier: GPL-3.0-or-later
// The checks of the number conversions.

#include "fuzz/property_support.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <locale.h>
#include <stdlib.h>

namespace hardening {

namespace {

// Numbers read the same whatever the program's locale.
locale_t CLocale() {
    static const locale_t kCLocale = ::newlocale(LC_ALL_MASK, "C", locale_t{});
    return kCLocale;
}

// The decimal number grammar with blanks around it: [+-] (digits [. digits] | . digits)
// [(e|E) [+-] digits].
bool IsPlainDecimal(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    std::size_t at = 0;
    const auto digitsFrom = [&text, &at] {
        const std::size_t start = at;
        while (at < text.size() && IsDigit(text[at])) {
            ++at;
        }
        return at - start;
    };
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        ++at;
    }
    std::size_t mantissa = digitsFrom();
    if (at < text.size() && text[at] == '.') {
        ++at;
        mantissa += digitsFrom();
    }
    if (mantissa == 0) {
        return false;
    }
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
            ++at;
        }
        if (digitsFrom() == 0) {
            return false;
        }
    }
    return at == text.size();
}

TViolation CheckIntegerReading(std::string_view text) {
    const std::string typed(text);
    int value = 0;
    bool accepted = false;
    if (TViolation violation =
            Refusable("StrToInt", text, accepted, [&] { value = toolkit::StrToInt(typed); })) {
        return violation;
    }
    const std::optional<std::int64_t> expected = PlainInteger(text);
    if (accepted != expected.has_value() || (accepted && value != *expected)) {
        return Violation("StrToInt disagrees with the integer grammar", text);
    }
    return std::nullopt;
}

// What FloatToStr writes for `value` reads back as a number that FloatToStr writes the
// same way, within the 15 digits it keeps.
TViolation CheckFloatText(double value, std::string_view input) {
    const std::string written = toolkit::FloatToStr(value);
    if (written.empty() || written.find_first_of(", ") != std::string::npos) {
        return Violation("FloatToStr wrote '" + written + "'", input);
    }
    double readBack = 0;
    bool accepted = false;
    if (TViolation violation = Refusable("StrToFloat of FloatToStr", input, accepted,
                                         [&] { readBack = toolkit::StrToFloat(written); })) {
        return violation;
    }
    if (!accepted) {
        return Violation("StrToFloat refused '" + written + "' that FloatToStr wrote", input);
    }
    if (toolkit::FloatToStr(readBack) != written) {
        return Violation("'" + written + "' does not read back to the same text", input);
    }
    if (std::fabs(readBack - value) > std::fabs(value) * 1e-14) {
        return Violation("'" + written + "' reads back to another value", input);
    }
    return std::nullopt;
}

TViolation CheckFloatReading(std::string_view text) {
    const std::string typed(text);
    double value = 0;
    bool accepted = false;
    if (TViolation violation =
            Refusable("StrToFloat", text, accepted, [&] { value = toolkit::StrToFloat(typed); })) {
        return violation;
    }
    const bool grammatical = IsPlainDecimal(text);
    if (accepted && !grammatical) {
        return Violation("StrToFloat accepted a text outside the number grammar", text);
    }
    if (grammatical) {
        errno = 0;
        const double expected = ::strtod_l(typed.c_str(), nullptr, CLocale());
        // Beyond the range of a double a refusal is right; a number too small to be held
        // as a normal double may also be read as the nearest one strtod does not give.
        const bool outOfRange = errno == ERANGE;
        if (!accepted && !outOfRange) {
            return Violation("StrToFloat refused a number", text);
        }
        if (accepted && value != expected && !(outOfRange && std::fabs(expected) <= DBL_MIN)) {
            return Violation("StrToFloat read another value than strtod", text);
        }
    }
    return accepted ? CheckFloatText(value, text) : std::nullopt;
}

TViolation CheckIntegerIsAlsoANumber(std::string_view text) {
    const std::string typed(text);
    const std::optional<std::int64_t> integer = PlainInteger(text);
    if (!integer) {
        return std::nullopt;
    }
    double value = 0;
    bool accepted = false;
    if (TViolation violation =
            Refusable("StrToFloat", text, accepted, [&] { value = toolkit::StrToFloat(typed); })) {
        return violation;
    }
    if (!accepted || value != static_cast<double>(*integer)) {
        return Violation("an integer does not read as the same decimal number", text);
    }
    return std::nullopt;
}

} // namespace

TViolation CheckConversions(std::string_view text) {
    if (TViolation violation = CheckIntegerReading(text)) {
        return violation;
    }
    if (TViolation violation = CheckFloatReading(text)) {
        return violation;
    }
    if (TViolation violation = CheckIntegerIsAlsoANumber(text)) {
        return violation;
    }
    // The first eight bytes as a double: every finite value FloatToStr may meet.
    if (text.size() >= sizeof(double)) {
        double value = 0;
        std::memcpy(&value, text.data(), sizeof value);
        if (std::isfinite(value)) {
            return CheckFloatText(value, text);
        }
    }
    return std::nullopt;
}

} // namespace hardening
