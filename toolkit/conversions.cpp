// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/conversions.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>
#include <system_error>

namespace toolkit {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

[[noreturn]] void ThrowNotInteger(const std::string& text) {
    throw EConvertError("'" + text + "' is not a valid integer value");
}

[[noreturn]] void ThrowNotFloat(const std::string& text) {
    throw EConvertError("'" + text + "' is not a valid floating point value");
}

// Skips the digits starting at `pos`; returns how many there were.
std::size_t SkipDigits(std::string_view text, std::size_t& pos) {
    const std::size_t start = pos;
    while (pos < text.size() && IsDigit(text[pos])) {
        ++pos;
    }
    return pos - start;
}

// True when `number` is exactly: sign? digits? ('.' digits?)? (('e'|'E') sign? digits)?
// with at least one digit before the exponent.
bool IsDecimalNumber(std::string_view number) {
    std::size_t pos = 0;
    if (pos < number.size() && (number[pos] == '+' || number[pos] == '-')) {
        ++pos;
    }
    std::size_t mantissaDigits = SkipDigits(number, pos);
    if (pos < number.size() && number[pos] == '.') {
        ++pos;
        mantissaDigits += SkipDigits(number, pos);
    }
    if (mantissaDigits == 0) {
        return false;
    }
    if (pos < number.size() && (number[pos] == 'e' || number[pos] == 'E')) {
        ++pos;
        if (pos < number.size() && (number[pos] == '+' || number[pos] == '-')) {
            ++pos;
        }
        if (SkipDigits(number, pos) == 0) {
            return false;
        }
    }
    return pos == number.size();
}

std::string_view TrimSpaces(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

} // namespace

int StrToInt(const std::string& text) {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty()) {
        ThrowNotInteger(text);
    }
    // One beyond the largest magnitude an int may take (that of its minimum).
    constexpr std::int64_t kMagnitudeLimit = std::int64_t{std::numeric_limits<int>::max()} + 1;
    std::int64_t magnitude = 0;
    for (const char c : digits) {
        if (!IsDigit(c)) {
            ThrowNotInteger(text);
        }
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > kMagnitudeLimit) {
            ThrowNotInteger(text);
        }
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int>::max()) {
        ThrowNotInteger(text);
    }
    return static_cast<int>(value);
}

double StrToFloat(const std::string& text) {
    std::string_view number = TrimSpaces(text);
    if (!IsDecimalNumber(number)) {
        ThrowNotFloat(text);
    }
    // from_chars takes no plus sign; the grammar check above allows at most one.
    if (number.front() == '+') {
        number.remove_prefix(1);
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value,
                                              std::chars_format::general);
    if (error != std::errc{} || end != number.data() + number.size() || !std::isfinite(value)) {
        ThrowNotFloat(text);
    }
    return value;
}

std::string FloatToStr(double value) {
    if (value == 0.0) {
        return "0"; // also for negative zero
    }
    // Fifteen digits round the very largest doubles up beyond the range of a double; they
    // are written as the largest fifteen-digit number within it, so the text reads back.
    constexpr double kLargestFifteenDigits = 1.79769313486231e308;
    if (std::fabs(value) > kLargestFifteenDigits) {
        value = std::copysign(kLargestFifteenDigits, value);
    }
    std::array<char, 64> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                            std::chars_format::general, 15);
    if (error != std::errc{}) {
        return {};
    }
    return std::string(buffer.data(), end);
}

std::string UpperCase(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

} // namespace toolkit
