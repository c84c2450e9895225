#include "fuzz/fuzz_properties.h"

#include "protocol/commands.h"
#include "protocol/cutter_settings.h"
#include "protocol/reply_decoding.h"
#include "sim/command_reader.h"
#include "sim/cutter_model.h"
#include "toolkit/conversions.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <locale.h>
#include <stdlib.h>
#include <vector>

namespace hardening {

namespace {

constexpr std::size_t kShownInputBytes = 80;
// The plain reading of the splitting rule is quadratic; longer replies are checked for
// the invariants only.
constexpr std::size_t kPlainSplitLimit = 8192;
// A note of the cutter's reader quotes at most a short preview of what it dropped.
constexpr std::size_t kLongestReaderNote = 128;

// The input as a readable C-like literal, cut short.
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

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// ---- Reply splitting ----

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

// ---- Decoders ----

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

// ---- Number conversions ----

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

// ---- Command building ----

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

bool IsIgnored(const sim::TCutterEvent& event) {
    return event.Kind == sim::TEventKind::ekIgnored;
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

// ---- The virtual cutter's reader ----

// Cuts `bytes` into pieces whose lengths a small generator draws from `seed`.
std::vector<std::string_view> Pieces(std::string_view bytes, unsigned char seed) {
    std::vector<std::string_view> pieces;
    std::uint32_t state = seed * 2654435761u + 1;
    const std::uint32_t longest = 1 + seed % 64;
    while (!bytes.empty()) {
        state = state * 1664525u + 1013904223u;
        const std::size_t length = std::min<std::size_t>(bytes.size(), 1 + (state >> 8) % longest);
        pieces.push_back(bytes.substr(0, length));
        bytes.remove_prefix(length);
    }
    return pieces;
}

bool IsWellFormed(const sim::TCutterCommand& command) {
    if (command.Kind == sim::TCommandKind::ckHpgl) {
        return command.Name.size() == 2 && command.Raw.ends_with(';') &&
               command.Raw.size() <= sim::kMaxHpglInstructionBytes + 1;
    }
    return command.Name.size() == 1 && command.Raw.starts_with("\x1B.") &&
           command.Raw.ends_with(':') && command.Raw.size() <= sim::kMaxDeviceControlBytes + 1;
}

TViolation CheckReaderNotes(const sim::TCutterEvents& notes, std::string_view input) {
    for (const sim::TCutterEvent& note : notes) {
        if (note.Kind != sim::TEventKind::ekIgnored || note.Text.size() > kLongestReaderNote) {
            return Violation("the reader wrote the note '" + note.Text.substr(0, 60) + "'", input);
        }
    }
    return std::nullopt;
}

TViolation CheckReaderSplits(std::string_view input, const std::vector<std::string_view>& pieces) {
    const std::string_view bytes = input.substr(1);
    sim::TCommandReader whole;
    sim::TCutterCommands wholeCommands;
    sim::TCutterEvents notes;
    whole.Feed(bytes, wholeCommands, notes);
    whole.Flush(notes);

    sim::TCommandReader split;
    sim::TCutterCommands splitCommands;
    for (const std::string_view piece : pieces) {
        split.Feed(piece, splitCommands, notes);
        if (split.HeldBytes() > sim::kMaxHpglInstructionBytes) {
            return Violation("the reader holds " + std::to_string(split.HeldBytes()) + " bytes",
                             input);
        }
    }
    split.Flush(notes);
    if (splitCommands != wholeCommands) {
        return Violation("the reader found other commands when the bytes came in pieces", input);
    }
    if (!std::all_of(wholeCommands.begin(), wholeCommands.end(), IsWellFormed)) {
        return Violation("the reader gave a malformed command", input);
    }
    return CheckReaderNotes(notes, input);
}

sim::TCutterEvents WithoutNotes(sim::TCutterEvents events) {
    events.erase(std::remove_if(events.begin(), events.end(), IsIgnored), events.end());
    return events;
}

bool SameState(const sim::TVirtualCutter& a, const sim::TVirtualCutter& b) {
    return a.ScaleX() == b.ScaleX() && a.ScaleY() == b.ScaleY() &&
           a.FlashWriteCount() == b.FlashWriteCount() && a.CutCount() == b.CutCount() &&
           a.PenXUnits() == b.PenXUnits() && a.PenYUnits() == b.PenYUnits() &&
           a.PenIsDown() == b.PenIsDown() && a.RelativeMode() == b.RelativeMode() &&
           a.SelectedPen() == b.SelectedPen() && a.Velocity() == b.Velocity();
}

TViolation CheckCuts(const sim::TVirtualCutter& cutter, std::string_view input) {
    if (cutter.Cuts().size() > sim::kMaxKeptCuts) {
        return Violation("the cutter keeps more cuts than its limit", input);
    }
    for (const sim::TCut& cut : cutter.Cuts()) {
        if (cut.PathMm.size() > sim::kMaxPathPoints || !std::isfinite(cut.WidthMm) ||
            !std::isfinite(cut.HeightMm)) {
            return Violation("a cut is unbounded or not finite", input);
        }
    }
    return std::nullopt;
}

TViolation CheckCutterSplits(std::string_view input, const std::vector<std::string_view>& pieces) {
    const std::string_view bytes = input.substr(1);
    sim::TVirtualCutter whole;
    const sim::TCutterEvents wholeEvents = WithoutNotes(whole.Feed(bytes));
    sim::TVirtualCutter split;
    sim::TCutterEvents splitEvents;
    for (const std::string_view piece : pieces) {
        for (sim::TCutterEvent& event : WithoutNotes(split.Feed(piece))) {
            splitEvents.push_back(std::move(event));
        }
    }
    if (splitEvents != wholeEvents || !SameState(whole, split)) {
        return Violation("the cutter did otherwise when the bytes came in pieces", input);
    }
    return CheckCuts(split, input);
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

TViolation CheckCutterReader(std::string_view bytes) {
    if (bytes.empty()) {
        return std::nullopt;
    }
    const std::vector<std::string_view> pieces =
        Pieces(bytes.substr(1), static_cast<unsigned char>(bytes.front()));
    if (TViolation violation = CheckReaderSplits(bytes, pieces)) {
        return violation;
    }
    return CheckCutterSplits(bytes, pieces);
}

TCheck CheckNamed(std::string_view target) {
    static const std::pair<std::string_view, TCheck> kChecks[] = {
        {"reply_splitting", &CheckReplySplitting}, {"reply_decoders", &CheckReplyDecoders},
        {"conversions", &CheckConversions},        {"command_building", &CheckCommandBuilding},
        {"cutter_reader", &CheckCutterReader},
    };
    for (const auto& [name, check] : kChecks) {
        if (name == target) {
            return check;
        }
    }
    return nullptr;
}

} // namespace hardening
