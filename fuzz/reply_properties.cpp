// SPDX-License-Identifier: GPL-3.0-or-later
// The checks of reply splitting and of the four decoders.

#include "fuzz/property_support.h"
#include "protocol/cutter_settings.h"
#include "protocol/reply_decoding.h"

#include <algorithm>
#include <vector>

namespace hardening {

namespace {

// The plain reading of the splitting rule is quadratic; longer replies are checked for
// the invariants only.
constexpr std::size_t kPlainSplitLimit = 8192;

// The splitting rule read word for word: the rest of the reply shrinks field by field.
std::vector<std::string> PlainSplit(std::string_view reply, protocol::TEndRule rule) {
    std::vector<std::string> fields;
    std::string rest(reply);
    while (!rest.empty()) {
        std::size_t end = rest.find(',');
        if (end == std::string::npos) {
            end = rest.find(';');
        }
        if (end == std::string::npos) {
            end = rest.find('\r');
        }
        std::string field;
        if (end == std::string::npos) {
            field = rule == protocol::erWholeTail ? rest : rest.substr(0, rest.size() - 1);
            rest.clear();
        } else {
            field = rest.substr(0, end);
            rest.erase(0, end + 1);
        }
        while (!field.empty() && IsBlankOrControl(field.front())) {
            field.erase(0, 1);
        }
        while (!field.empty() && IsBlankOrControl(field.back())) {
            field.pop_back();
        }
        const std::size_t cut = std::min(field.find(';'), field.find('\r'));
        fields.push_back(field.substr(0, cut));
    }
    return fields;
}

TViolation CheckSplitInvariants(std::string_view reply,
                                const std::vector<std::string_view>& fields) {
    if (fields.empty() != reply.empty()) {
        return Violation("a reply gave no fields, or an empty one some", reply);
    }
    const std::size_t delimiters = static_cast<std::size_t>(std::count_if(
        reply.begin(), reply.end(), [](char c) { return c == ',' || c == ';' || c == '\r'; }));
    if (fields.size() > delimiters + 1) {
        return Violation("more fields than delimiters allow", reply);
    }
    for (const std::string_view field : fields) {
        if (field.data() < reply.data() ||
            field.data() + field.size() > reply.data() + reply.size()) {
            return Violation("a field lies outside the reply", reply);
        }
        if (!field.empty() && IsBlankOrControl(field.front())) {
            return Violation("a field starts with a blank or control byte", reply);
        }
        if (field.find_first_of(";\r") != std::string_view::npos) {
            return Violation("a field holds ';' or a carriage return", reply);
        }
    }
    return std::nullopt;
}

constexpr const char* kOldText = "old";
constexpr std::int32_t kOldScale = -7;

protocol::CutterSettings PrefilledSettings() {
    protocol::CutterSettings settings;
    for (std::string* text :
         {&settings.PollSizeX, &settings.PollSizeY, &settings.MediaWeight, &settings.Force,
          &settings.Offset, &settings.Quality, &settings.Smooth, &settings.AutoUnroll,
          &settings.MediaType, &settings.FirmwareModel, &settings.FirmwareVersion}) {
        *text = kOldText;
    }
    settings.ScaleX = kOldScale;
    settings.ScaleY = kOldScale;
    return settings;
}

bool OneOf(const std::string& text, std::initializer_list<const char*> allowed) {
    return std::any_of(allowed.begin(), allowed.end(),
                       [&text](const char* candidate) { return text == candidate; });
}

// "<number> mm" with the number as printf writes it: digits, an optional sign, point and
// leading blanks; never "nan", "inf" or an exponent.
bool IsMillimetreLabel(const std::string& label) {
    constexpr std::string_view kUnit = " mm";
    if (label.size() <= kUnit.size() || !label.ends_with(kUnit)) {
        return false;
    }
    std::string_view number(label.data(), label.size() - kUnit.size());
    while (!number.empty() && number.front() == ' ') {
        number.remove_prefix(1);
    }
    if (!number.empty() && number.front() == '-') {
        number.remove_prefix(1);
    }
    return !number.empty() && std::all_of(number.begin(), number.end(), [](char c) {
        return IsDigit(c) || c == '.';
    }) && std::count(number.begin(), number.end(), '.') <= 1;
}

TViolation CheckSizeValues(std::string_view reply, const protocol::CutterSettings& settings) {
    for (const std::string* label : {&settings.PollSizeX, &settings.PollSizeY}) {
        if (*label != kOldText && !IsMillimetreLabel(*label)) {
            return Violation("DecodeSizeReply set the label '" + *label + "'", reply);
        }
    }
    return std::nullopt;
}

TViolation CheckSettingsValues(std::string_view reply, const protocol::CutterSettings& settings,
                               const std::vector<std::string_view>& fields) {
    const bool sane =
        OneOf(settings.MediaWeight, {kOldText, "Light", "Heavy"}) &&
        OneOf(settings.Quality, {kOldText, "Draft", "Fine"}) &&
        OneOf(settings.Smooth, {kOldText, "Enable", "Disable"}) &&
        OneOf(settings.AutoUnroll, {kOldText, "Enable", "Disable"}) &&
        OneOf(settings.MediaType, {kOldText, "Roll", "Single"}) &&
        (settings.Offset == kOldText || IsMillimetreLabel(settings.Offset)) &&
        (settings.Force == kOldText || (fields.size() >= 3 && settings.Force == fields[2]));
    return sane ? std::nullopt : Violation("DecodeSettingsReply set a value no label shows", reply);
}

TViolation CheckScaleValues(std::string_view reply, const protocol::CutterSettings& settings,
                            const std::vector<std::string_view>& fields, bool completed) {
    if (!completed || fields.size() < 3) {
        return std::nullopt;
    }
    if (settings.ScaleX != toolkit::StrToInt(std::string(fields[1])) ||
        settings.ScaleY != toolkit::StrToInt(std::string(fields[2]))) {
        return Violation("DecodeScaleReply kept other values than fields 2 and 3", reply);
    }
    return std::nullopt;
}

TViolation CheckModelValues(std::string_view reply, const protocol::CutterSettings& settings,
                            const std::vector<std::string_view>& fields) {
    if (fields.size() >= 3 && settings.FirmwareModel != fields[2]) {
        return Violation("DecodeModelReply set a model other than field 3", reply);
    }
    if (settings.FirmwareVersion.find(' ') != std::string::npos) {
        return Violation("DecodeModelReply kept a space in the version", reply);
    }
    return std::nullopt;
}

enum class TDecoder { dcSize, dcSettings, dcModel, dcScale };

struct TDecoderRun {
    protocol::CutterSettings Settings = PrefilledSettings();
    std::vector<std::string> Logged;
    bool Completed = false;
};

TViolation RunDecoder(TDecoder decoder, std::string_view reply, TDecoderRun& run) {
    const protocol::TFieldLog log = [&run](std::string_view field) {
        run.Logged.emplace_back(field);
    };
    return Refusable("a decoder", reply, run.Completed, [&] {
        switch (decoder) {
        case TDecoder::dcSize:
            protocol::DecodeSizeReply(reply, run.Settings, log);
            break;
        case TDecoder::dcSettings:
            protocol::DecodeSettingsReply(reply, run.Settings, log);
            break;
        case TDecoder::dcModel:
            protocol::DecodeModelReply(reply, run.Settings);
            break;
        case TDecoder::dcScale:
            protocol::DecodeScaleReply(reply, run.Settings, log);
            break;
        }
    });
}

TViolation CheckLoggedFields(TDecoder decoder, std::string_view reply, const TDecoderRun& run,
                             const std::vector<std::string_view>& fields) {
    if (decoder == TDecoder::dcModel) {
        return run.Completed ? std::nullopt : Violation("DecodeModelReply failed", reply);
    }
    if (run.Logged.size() > fields.size() ||
        !std::equal(run.Logged.begin(), run.Logged.end(), fields.begin())) {
        return Violation("a decoder logged other fields than the reply's, or out of order", reply);
    }
    if (run.Completed ? run.Logged.size() != fields.size() : run.Logged.empty()) {
        return Violation("a decoder logged too few fields", reply);
    }
    return std::nullopt;
}

TViolation CheckOneDecoder(TDecoder decoder, std::string_view reply) {
    const auto rule =
        decoder == TDecoder::dcSettings ? protocol::erShortTail : protocol::erWholeTail;
    const std::vector<std::string_view> fields = protocol::SplitReplyFields(reply, rule);
    TDecoderRun run;
    if (TViolation violation = RunDecoder(decoder, reply, run)) {
        return violation;
    }
    if (TViolation violation = CheckLoggedFields(decoder, reply, run, fields)) {
        return violation;
    }
    switch (decoder) {
    case TDecoder::dcSize:
        return CheckSizeValues(reply, run.Settings);
    case TDecoder::dcSettings:
        return CheckSettingsValues(reply, run.Settings, fields);
    case TDecoder::dcModel:
        return CheckModelValues(reply, run.Settings, fields);
    case TDecoder::dcScale:
        return CheckScaleValues(reply, run.Settings, fields, run.Completed);
    }
    return std::nullopt;
}

} // namespace

TViolation CheckReplySplitting(std::string_view reply) {
    for (const protocol::TEndRule rule : {protocol::erWholeTail, protocol::erShortTail}) {
        const std::vector<std::string_view> fields = protocol::SplitReplyFields(reply, rule);
        if (TViolation violation = CheckSplitInvariants(reply, fields)) {
            return violation;
        }
        if (reply.size() <= kPlainSplitLimit) {
            const std::vector<std::string> expected = PlainSplit(reply, rule);
            if (!std::equal(fields.begin(), fields.end(), expected.begin(), expected.end())) {
                return Violation(std::string("the fields differ from the rule's under the ") +
                                     (rule == protocol::erWholeTail ? "whole" : "short") +
                                     "-tail rule",
                                 reply);
            }
        }
    }
    return std::nullopt;
}

TViolation CheckReplyDecoders(std::string_view reply) {
    for (const TDecoder decoder :
         {TDecoder::dcSize, TDecoder::dcSettings, TDecoder::dcModel, TDecoder::dcScale}) {
        if (TViolation violation = CheckOneDecoder(decoder, reply)) {
            return violation;
        }
    }
    return std::nullopt;
}

} // namespace hardening
