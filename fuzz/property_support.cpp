// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz/property_support.h"

#include <algorithm>
#include <limits>

namespace hardening {

namespace {

constexpr std::size_t kShownInputBytes = 80;

} // namespace

std::string Shown(std::string_view input) {
    std::string shown = "\"";
    for (const char c : input.substr(0, kShownInputBytes)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 32 && byte < 127 && c != '"' && c != '\\') {
            shown += c;
        } else {
            constexpr const char* kHex = "0123456789abcdef";
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 15];
        }
    }
    shown += input.size() > kShownInputBytes ? "\"..." : "\"";
    return shown;
}

TViolation Violation(const std::string& what, std::string_view input) {
    return what + " for " + Shown(input);
}

// An optional sign and decimal digits within 32 bits, read independently of StrToInt.
std::optional<std::int64_t> PlainInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !std::all_of(text.begin(), text.end(), IsDigit)) {
        return std::nullopt;
    }
    while (text.size() > 1 && text.front() == '0') {
        text.remove_prefix(1);
    }
    if (text.size() > 10) {
        return std::nullopt;
    }
    const std::int64_t magnitude = std::stoll(std::string(text));
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return value;
}

} // namespace hardening
