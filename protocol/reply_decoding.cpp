// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/reply_decoding.h"

#include "protocol/commands.h"
#include "protocol/queries.h"
#include "toolkit/conversions.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <utility>

namespace protocol {

namespace {

constexpr char kCarriageReturn = '\r';
constexpr int kLightMediaWeight = 30;
// Labels are worked out in double precision: a label rounded from an extended product
// falls a hundredth short for every fifth unit count or so (24007 units is 600.18 mm).
constexpr double kMillimetresPerUnit = 0.025;

// The next position of one delimiter at or after an offset. Remembers what it found, so
// splitting a long reply scans it once per delimiter instead of once per field.
class TDelimiterCursor {
public:
    TDelimiterCursor(std::string_view reply, char delimiter)
        : FReply(reply), FDelimiter(delimiter), FNext(reply.find(delimiter)) {}

    std::size_t NextFrom(std::size_t offset) {
        if (FNext != std::string_view::npos && FNext < offset) {
            FNext = FReply.find(FDelimiter, offset);
        }
        return FNext;
    }

private:
    std::string_view FReply;
    char FDelimiter;
    std::size_t FNext;
};

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

std::string_view TrimBlanksAndControls(std::string_view field) {
    while (!field.empty() && IsBlankOrControl(field.front())) {
        field.remove_prefix(1);
    }
    while (!field.empty() && IsBlankOrControl(field.back())) {
        field.remove_suffix(1);
    }
    return field;
}

// A ';' before a later ',' does not end a field; the text from it on is dropped here.
std::string_view CutAtSemicolonOrReturn(std::string_view field) {
    return field.substr(0, field.find_first_of(";\r"));
}

void LogField(const TFieldLog& log, std::string_view field) {
    if (log) {
        log(field);
    }
}

// printf's "%.<precision>f" with a point whatever the locale, padded to `width`.
std::string FormatFixed(double value, int precision, std::size_t width) {
    std::array<char, 400> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                            std::chars_format::fixed, precision);
    std::string text = error == std::errc{} ? std::string(buffer.data(), end) : std::string("?");
    if (text.size() < width) {
        text.insert(0, width - text.size(), ' ');
    }
    return text;
}

// A size field: millimetres with two decimals when there is a fraction above the whole
// millimetres, else the whole millimetres.
std::string SizeLabel(std::string_view field) {
    const std::string text(field);
    const double millimetres = toolkit::StrToFloat(text) * kMillimetresPerUnit;
    const int wholeMillimetres = toolkit::StrToInt(text) / kUnitsPerMillimetre;
    if (millimetres - wholeMillimetres > 0) {
        return FormatFixed(millimetres, 2, 5) + " mm";
    }
    return std::to_string(wholeMillimetres) + " mm";
}

std::string OffsetLabel(std::string_view field) {
    const double millimetres = static_cast<double>(
        static_cast<long double>(toolkit::StrToFloat(std::string(field))) * 0.001L);
    return FormatFixed(millimetres, 3, 1) + " mm";
}

const char* EnableText(std::string_view field) {
    return field == "1" ? "Enable" : "Disable";
}

} // namespace

std::vector<std::string_view> SplitReplyFields(std::string_view reply, TEndRule rule) {
    std::vector<std::string_view> fields;
    TDelimiterCursor comma(reply, ',');
    TDelimiterCursor semicolon(reply, ';');
    TDelimiterCursor carriageReturn(reply, kCarriageReturn);
    std::size_t offset = 0;
    while (offset < reply.size()) {
        std::size_t end = comma.NextFrom(offset);
        if (end == std::string_view::npos) {
            end = semicolon.NextFrom(offset);
        }
        if (end == std::string_view::npos) {
            end = carriageReturn.NextFrom(offset);
        }
        std::string_view field;
        if (end != std::string_view::npos) {
            field = reply.substr(offset, end - offset);
            offset = end + 1;
        } else {
            field = reply.substr(offset);
            if (rule == erShortTail) {
                field.remove_suffix(1);
            }
            offset = reply.size();
        }
        fields.push_back(CutAtSemicolonOrReturn(TrimBlanksAndControls(field)));
    }
    return fields;
}

void DecodeSizeReply(std::string_view reply, CutterSettings& settings, const TFieldLog& log) {
    const auto fields = SplitReplyFields(reply, erWholeTail);
    for (std::size_t index = 0; index < fields.size(); ++index) {
        LogField(log, fields[index]);
        std::string label = SizeLabel(fields[index]);
        if (index == 2) {
            settings.PollSizeX = std::move(label);
        } else if (index == 3) {
            settings.PollSizeY = std::move(label);
        }
    }
}

void DecodeSettingsReply(std::string_view reply, CutterSettings& settings, const TFieldLog& log) {
    const auto fields = SplitReplyFields(reply, erShortTail);
    for (std::size_t index = 0; index < fields.size(); ++index) {
        const std::string_view field = fields[index];
        LogField(log, field);
        switch (index + 1) {
        case 2:
            settings.MediaWeight =
                toolkit::StrToInt(std::string(field)) == kLightMediaWeight ? "Light" : "Heavy";
            break;
        case 3:
            settings.Force = field;
            break;
        case 4:
            settings.Offset = OffsetLabel(field);
            break;
        case 5:
            settings.Quality = field == "5" ? "Draft" : "Fine";
            break;
        case 6:
            settings.Smooth = EnableText(field);
            break;
        case 7:
            settings.AutoUnroll = EnableText(field);
            break;
        case 8:
            settings.MediaType = field == "2" ? "Roll" : "Single";
            break;
        default:
            break;
        }
    }
}

void DecodeModelReply(std::string_view reply, CutterSettings& settings) {
    const auto fields = SplitReplyFields(reply, erWholeTail);
    if (fields.size() >= 3) {
        settings.FirmwareModel = fields[2];
    }
    if (fields.size() >= 4) {
        settings.FirmwareVersion = fields[3].substr(0, fields[3].find(' '));
        settings.FirmwareVersionField = fields[3];
    }
}

void DecodeScaleReply(std::string_view reply, CutterSettings& settings, const TFieldLog& log) {
    const auto fields = SplitReplyFields(reply, erWholeTail);
    for (std::size_t index = 0; index < fields.size(); ++index) {
        LogField(log, fields[index]);
        if (index == 1) {
            settings.ScaleX = toolkit::StrToInt(std::string(fields[index]));
        } else if (index == 2) {
            settings.ScaleY = toolkit::StrToInt(std::string(fields[index]));
        }
    }
}

namespace {

// A field of a scale reading: digits only, a value a 32-bit integer holds.
bool IsPlainInteger(std::string_view field) {
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    return !field.empty() && field.front() != '-' && error == std::errc() &&
           end == field.data() + field.size();
}

} // namespace

std::string_view WithoutLineFeedAfterReturn(std::string_view reply) {
    if (reply.ends_with("\r\n")) {
        reply.remove_suffix(1);
    }
    return reply;
}

namespace {

bool Converts(std::string_view field, auto convert) {
    try {
        convert(std::string(field));
    } catch (const toolkit::EConvertError&) {
        return false;
    }
    return true;
}

bool IsInteger(std::string_view field) {
    return Converts(field, toolkit::StrToInt);
}

// The decimal reading skips blanks; a whole reply has none around its numbers.
bool IsDecimal(std::string_view field) {
    return TrimBlanksAndControls(field).size() == field.size() &&
           Converts(field, toolkit::StrToFloat);
}

// The line ends at its first CR; a LF right after it belongs to the line.
TReplyFault FaultOf(std::string_view reply, const TQuery& query) {
    const std::size_t end = reply.find(kCarriageReturn);
    if (end == std::string_view::npos) {
        return TReplyFault::rfUnended;
    }
    if (const std::string_view after = reply.substr(end + 1); !after.empty() && after != "\n") {
        return TReplyFault::rfAfterReturn;
    }
    const std::string_view line = reply.substr(0, end);
    if (line.find_first_of(";\n") != std::string_view::npos) {
        return TReplyFault::rfStrayDelimiter;
    }
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma - start));
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    if (fields.size() < query.Fields || (fields.size() > query.Fields && !query.FieldsMayFollow)) {
        return TReplyFault::rfFieldCount;
    }
    for (std::size_t index = 0; index < fields.size(); ++index) {
        if (!query.FieldInForm(index, fields[index])) {
            return TReplyFault::rfNotANumber;
        }
    }
    return TReplyFault::rfNone;
}

} // namespace

bool SizeFieldInForm(std::size_t /*index*/, std::string_view field) {
    return IsInteger(field);
}

bool SettingsFieldInForm(std::size_t index, std::string_view field) {
    return index == 1 ? IsInteger(field) : index != 3 || IsDecimal(field);
}

bool ModelFieldInForm(std::size_t /*index*/, std::string_view /*field*/) {
    return true;
}

bool ScaleFieldInForm(std::size_t /*index*/, std::string_view field) {
    return IsPlainInteger(field);
}

bool IsScaleReading(std::string_view reply) {
    return ReplyFault(ccScaleQuery, reply) == TReplyFault::rfNone;
}

TReplyFault ReplyFault(TCommandCode query, std::string_view reply) {
    const TQuery* const found = FindQuery(query);
    return found == nullptr ? TReplyFault::rfFieldCount : FaultOf(reply, *found);
}

bool IsWholeReply(TCommandCode query, std::string_view reply) {
    return ReplyFault(query, reply) == TReplyFault::rfNone;
}

const char* ReplyFaultText(TReplyFault fault) {
    switch (fault) {
    case TReplyFault::rfNone:
        return "it is whole";
    case TReplyFault::rfUnended:
        return "no carriage return ended it";
    case TReplyFault::rfAfterReturn:
        return "bytes came after its carriage return";
    case TReplyFault::rfStrayDelimiter:
        return "a ';' or a line feed stood inside it";
    case TReplyFault::rfFieldCount:
        return "it did not hold the reply's number of fields";
    case TReplyFault::rfNotANumber:
        return "a field that must be a number was none";
    }
    return "";
}

bool ScaleReadingsAgree(std::string_view first, std::string_view second) {
    return IsScaleReading(first) && first == second;
}

bool ReadBackMatches(std::string_view reply, std::int32_t writtenX, std::int32_t writtenY) {
    if (!IsScaleReading(reply)) {
        return false;
    }
    const auto fields = SplitReplyFields(reply, erWholeTail);
    const auto reports = [](std::string_view field, std::int32_t value) {
        std::int32_t reported = 0;
        std::from_chars(field.data(), field.data() + field.size(), reported);
        return reported == value;
    };
    return reports(fields[1], writtenX) && reports(fields[2], writtenY);
}

} // namespace protocol
