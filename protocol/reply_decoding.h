// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "protocol/cutter_settings.h"

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace protocol {

// How the last field is taken when no delimiter follows it.
enum TEndRule {
    erWholeTail, // the field is all of the rest
    erShortTail, // the field is the rest less its last character
};

// Splits a reply into trimmed fields. Every field is a view into `reply`.
std::vector<std::string_view> SplitReplyFields(std::string_view reply, TEndRule rule);

// Receives each field as it is logged, before it is converted or applied.
using TFieldLog = std::function<void(std::string_view field)>;

// The decoders update `settings` field by field. A field that must be a number and is not
// stops the decoder with toolkit::EConvertError naming the field's text; the fields before
// it stay set.
void DecodeSizeReply(std::string_view reply, CutterSettings& settings, const TFieldLog& log);
void DecodeSettingsReply(std::string_view reply, CutterSettings& settings, const TFieldLog& log);
void DecodeModelReply(std::string_view reply, CutterSettings& settings);
void DecodeScaleReply(std::string_view reply, CutterSettings& settings, const TFieldLog& log);

// A cutter may end its line with CR LF; the decoders take the line feed for one more field,
// empty once trimmed, which a field that must be a number refuses. The reply without it
// is the line as the cutter meant it.
std::string_view WithoutLineFeedAfterReturn(std::string_view reply);

// A scale reading feeds a write into the cutter's flash, so only a reply exactly in the
// cutter's form is one: three plain integers separated by commas, then the end of the
// line, CR or CR LF, and nothing after it. A byte lost, a field too many or an answer to
// another query is refused.
bool IsScaleReading(std::string_view reply);

// Two readings taken one after the other agree when both are readings and byte for byte
// the same: a corruption that still reads as a reading shows as a difference.
bool ScaleReadingsAgree(std::string_view first, std::string_view second);

// A read-back confirms a write when it is a reading that reports the values written.
bool ReadBackMatches(std::string_view reply, std::int32_t writtenX, std::int32_t writtenY);

} // namespace protocol
