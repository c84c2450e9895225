// SPDX-License-Identifier: GPL-3.0-or-later
// The checks of command building from typed sizes and a scale value, judged by the
// virtual cutter that executes what was built.

#include "fuzz/property_support.h"
#include "protocol/commands.h"
#include "sim/cutter_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace hardening {

namespace {

constexpr std::array<const char*, 5> kDefaultCommandFields = {"50", "50", "50.5", "49.8", "1000"};

std::vector<std::string> CommandFields(std::string_view lines) {
    std::vector<std::string> fields;
    while (fields.size() < kDefaultCommandFields.size() && !lines.empty()) {
        const std::size_t end = lines.find('\n');
        fields.emplace_back(lines.substr(0, end));
        lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
    }
    for (std::size_t i = fields.size(); i < kDefaultCommandFields.size(); ++i) {
        fields.emplace_back(kDefaultCommandFields[i]);
    }
    return fields;
}

// The rectangle the text describes, as a cutter cuts it: one closed cut of exactly the
// numbers written into it, and nothing the cutter does not understand.
TViolation CheckRectangleCut(const std::string& text, double width, double height,
                             std::string_view input) {
    sim::TVirtualCutter cutter;
    const sim::TCutterEvents events = cutter.Feed(text);
    if (std::any_of(events.begin(), events.end(), IsIgnored)) {
        return Violation("the cutter did not understand the rectangle '" + text + "'", input);
    }
    if (cutter.Cuts().size() != 1 || !cutter.Cuts().front().Closed ||
        cutter.Cuts().front().WidthUnits != width || cutter.Cuts().front().HeightUnits != height) {
        return Violation("the rectangle '" + text + "' is not the closed cut asked for", input);
    }
    return std::nullopt;
}

TViolation CheckScaleWrite(std::int32_t scaleX, std::int32_t scaleY, std::string_view input) {
    sim::TVirtualCutter cutter;
    const sim::TCutterEvents events = cutter.Feed(protocol::WriteScaleText(scaleX, scaleY));
    if (std::any_of(events.begin(), events.end(), IsIgnored) || cutter.FlashWriteCount() != 2 ||
        cutter.ScaleX() != scaleX || cutter.ScaleY() != scaleY) {
        return Violation("the scale write did not store " + std::to_string(scaleX) + " and " +
                             std::to_string(scaleY),
                         input);
    }
    return std::nullopt;
}

// The value as the cutter reads it back from the command text.
double AsWritten(double units) {
    return toolkit::StrToFloat(toolkit::FloatToStr(units));
}

struct TTypedSizes {
    std::optional<double> TestX, TestY, MeasuredX, MeasuredY;
    std::optional<std::int32_t> Scale;
};

TViolation ReadTypedSizes(std::string_view input, const std::vector<std::string>& fields,
                          TTypedSizes& sizes) {
    std::optional<double>* const lengths[] = {&sizes.TestX, &sizes.TestY, &sizes.MeasuredX,
                                              &sizes.MeasuredY};
    for (std::size_t i = 0; i < 4; ++i) {
        double units = 0;
        bool accepted = false;
        if (TViolation violation = Refusable("LengthUnitsFromText", input, accepted, [&] {
                units = protocol::LengthUnitsFromText(fields[i], "field");
            })) {
            return violation;
        }
        if (accepted && !(std::isfinite(units) && units > 0)) {
            return Violation("LengthUnitsFromText gave " + toolkit::FloatToStr(units), input);
        }
        if (accepted) {
            *lengths[i] = units;
        }
    }
    sizes.Scale = PlainInteger(fields[4]);
    return std::nullopt;
}

// A corrected length or scale is at least 1 and close to the exact arithmetic's value.
bool IsNear(std::int32_t computed, long double exact) {
    return computed >= 1 &&
           std::fabs(static_cast<long double>(computed) - exact) <= std::max(1.0L, exact * 1e-9L);
}

TViolation CheckCorrectedCut(std::string_view input, const TTypedSizes& sizes) {
    std::int32_t lengths[2] = {};
    const double tests[2] = {*sizes.TestX, *sizes.TestY};
    const double measured[2] = {*sizes.MeasuredX, *sizes.MeasuredY};
    for (int axis = 0; axis < 2; ++axis) {
        bool accepted = false;
        if (TViolation violation = Refusable("CorrectedLength", input, accepted, [&] {
                lengths[axis] = protocol::CorrectedLength(tests[axis], measured[axis]);
            })) {
            return violation;
        }
        if (!accepted) {
            return std::nullopt;
        }
        const long double exact =
            static_cast<long double>(tests[axis]) * tests[axis] / measured[axis];
        if (!IsNear(lengths[axis], exact)) {
            return Violation("CorrectedLength gave " + std::to_string(lengths[axis]), input);
        }
    }
    return CheckRectangleCut(protocol::TestDrawText(lengths[0], lengths[1]), lengths[0], lengths[1],
                             input);
}

TViolation CheckNewScale(std::string_view input, const TTypedSizes& sizes) {
    std::int32_t scales[2] = {};
    const double tests[2] = {*sizes.TestX, *sizes.TestY};
    const double measured[2] = {*sizes.MeasuredX, *sizes.MeasuredY};
    for (int axis = 0; axis < 2; ++axis) {
        bool accepted = false;
        if (TViolation violation = Refusable("NewScaleValue", input, accepted, [&] {
                scales[axis] = protocol::NewScaleValue(*sizes.Scale, measured[axis], tests[axis]);
            })) {
            return violation;
        }
        if (!accepted) {
            return std::nullopt;
        }
        const long double exact =
            static_cast<long double>(*sizes.Scale) * measured[axis] / tests[axis];
        if (!IsNear(scales[axis], exact)) {
            return Violation("NewScaleValue gave " + std::to_string(scales[axis]), input);
        }
    }
    return CheckScaleWrite(scales[0], scales[1], input);
}

} // namespace

TViolation CheckCommandBuilding(std::string_view lines) {
    const std::vector<std::string> fields = CommandFields(lines);
    TTypedSizes sizes;
    if (TViolation violation = ReadTypedSizes(lines, fields, sizes)) {
        return violation;
    }
    if (!sizes.TestX || !sizes.TestY) {
        return std::nullopt;
    }
    if (TViolation violation =
            CheckRectangleCut(protocol::TestDrawText(*sizes.TestX, *sizes.TestY),
                              AsWritten(*sizes.TestX), AsWritten(*sizes.TestY), lines)) {
        return violation;
    }
    if (!sizes.MeasuredX || !sizes.MeasuredY) {
        return std::nullopt;
    }
    if (TViolation violation = CheckCorrectedCut(lines, sizes)) {
        return violation;
    }
    return sizes.Scale ? CheckNewScale(lines, sizes) : std::nullopt;
}

} // namespace hardening
