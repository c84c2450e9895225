// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "protocol/commands.h"
#include "protocol/cutter_settings.h"

#include <cstddef>
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

// Why a reply text is not one whole reply of its query, or rfNone when it is one.
enum class TReplyFault : std::uint8_t {
    rfNone,
    rfUnended,     // no carriage return ended it
    rfAfterReturn, // bytes came after its carriage return (a line feed right after is the line's)
    rfStrayDelimiter, // a ';' or a line feed inside the line, which the splitter would cut at
    rfFieldCount,     // not the number of fields the query's reply holds
    rfNotANumber,     // a field the decoder reads as a number is none
};

// Whether one field of a reply, as it came, is in form where the decoder reads a number:
// the size's fields integers; the settings' weight an integer and its offset a decimal
// number; the firmware's fields anything. A scale reading feeds a write into the cutter's
// flash, so its fields must be plain integers: no sign, no blank.
bool SizeFieldInForm(std::size_t index, std::string_view field);
bool SettingsFieldInForm(std::size_t index, std::string_view field);
bool ModelFieldInForm(std::size_t index, std::string_view field);
bool ScaleFieldInForm(std::size_t index, std::string_view field);

// A reply is whole when it is the query's fields (queries.h) separated by commas, each in
// form, then CR (or CR LF) and nothing after it. Anything else (a late answer to another
// query, a reply split by a pause or led by noise, a stream that never ends its line) is
// refused. A command that is no query has no reply and nothing is whole for it.
TReplyFault ReplyFault(TCommandCode query, std::string_view reply);
bool IsWholeReply(TCommandCode query, std::string_view reply);
bool IsScaleReading(std::string_view reply);
// What the fault is, in a few words: "no carriage return ended it".
const char* ReplyFaultText(TReplyFault fault);

// Two readings taken one after the other agree when both are readings and byte for byte
// the same: a corruption that still reads as a reading shows as a difference.
bool ScaleReadingsAgree(std::string_view first, std::string_view second);

// A read-back confirms a write when it is a reading that reports the values written.
bool ReadBackMatches(std::string_view reply, std::int32_t writtenX, std::int32_t writtenY);

} // namespace protocol
