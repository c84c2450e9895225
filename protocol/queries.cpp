// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/queries.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace protocol {

namespace {

// The firmware reply logs no fields.
void DecodeModel(std::string_view reply, CutterSettings& settings, const TFieldLog& /*log*/) {
    DecodeModelReply(reply, settings);
}

constexpr TQuery kQueries[] = {
    {ccPollSize, "OH;", "Poll Size", "size", 4, false, SizeFieldInForm, DecodeSizeReply},
    {ccSettingsQuery, "\x1B.R1:", "Loop Detect", "settings", 8, false, SettingsFieldInForm,
     DecodeSettingsReply},
    {ccFirmwareQuery, "\x1B.R4:", "The firmware query", "firmware", 4, true, ModelFieldInForm,
     DecodeModel},
    {ccScaleQuery, "\x1B.R3:", "The scale query", "scale", 3, false, ScaleFieldInForm,
     DecodeScaleReply},
};

} // namespace

std::span<const TQuery> Queries() {
    return kQueries;
}

const TQuery* FindQuery(TCommandCode code) {
    const auto* const query = std::ranges::find(kQueries, code, &TQuery::Code);
    return query == std::end(kQueries) ? nullptr : query;
}

const TQuery& QueryOf(TCommandCode code) {
    const TQuery* const query = FindQuery(code);
    if (query == nullptr) {
        throw std::invalid_argument("Command " + std::to_string(code) + " is not a query");
    }
    return *query;
}

} // namespace protocol
