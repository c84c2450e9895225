// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the checks share: how a violation names its input, how a refusal is told from a
// fault, and a plain reading of the integer grammar to compare the code with.

#include "fuzz/fuzz_properties.h"
#include "sim/cutter_event.h"
#include "toolkit/conversions.h"

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace hardening {

// The input as a readable C-like literal, cut short.
std::string Shown(std::string_view input);

TViolation Violation(const std::string& what, std::string_view input);

// Runs `step`; a conversion error is a refusal (false), any other exception a violation.
template <typename TStep>
TViolation Refusable(const char* what, std::string_view input, bool& accepted, TStep step) {
    accepted = false;
    try {
        step();
        accepted = true;
    } catch (const toolkit::EConvertError&) {
    } catch (const std::exception& error) {
        return Violation(std::string(what) + " threw '" + error.what() + "'", input);
    } catch (...) {
        return Violation(std::string(what) + " threw a non-standard exception", input);
    }
    return std::nullopt;
}

inline bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// An optional sign and decimal digits within 32 bits, read independently of StrToInt.
std::optional<std::int64_t> PlainInteger(std::string_view text);

inline bool IsIgnored(const sim::TCutterEvent& event) {
    return event.Kind == sim::TEventKind::ekIgnored;
}

} // namespace hardening
