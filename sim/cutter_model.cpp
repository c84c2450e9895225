// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/cutter_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>

namespace sim {
namespace {

// Two coordinates closer than this (in plotter units) are the same point.
constexpr double kSamePointUnits = 1e-6;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// [+-] digits [. digits] or [+-] . digits: what HP-GL allows for a number; no exponent.
bool IsPlainDecimal(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    std::size_t digits = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && IsDigit(text[i]); ++i) {
            ++digits;
        }
    }
    return digits > 0 && i == text.size();
}

std::optional<double> ParseDecimal(std::string_view text) {
    if (!IsPlainDecimal(text)) {
        return std::nullopt;
    }
    if (text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int32_t> ParseInteger(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty() || (text.front() == '-' && text.size() == 1)) {
        return std::nullopt;
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

// The numbers of an HP-GL parameter list: separated by commas (spaces around them allowed);
// an empty list gives none; an empty item or a non-number fails the whole list.
std::optional<std::vector<double>> ParseNumberList(std::string_view parameters) {
    std::vector<double> numbers;
    parameters = TrimSpaces(parameters);
    if (parameters.empty()) {
        return numbers;
    }
    while (true) {
        const std::size_t comma = parameters.find(',');
        const auto number = ParseDecimal(TrimSpaces(parameters.substr(0, comma)));
        if (!number || std::fabs(*number) > kMaxCoordinate) {
            return std::nullopt;
        }
        numbers.push_back(*number);
        if (comma == std::string_view::npos) {
            return numbers;
        }
        parameters.remove_prefix(comma + 1);
    }
}

std::vector<std::string_view> SplitOn(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(at + 1);
    }
}

std::string FormatUnits(double units) {
    char text[64];
    std::snprintf(text, sizeof text, "%.10g", units);
    return text;
}

TCutterEvent Ignored(const TCutterCommand& command, const std::string& why) {
    return {TEventKind::ekIgnored, command.Raw + " ignored: " + why};
}

} // namespace

std::string FormatMillimetres(double millimetres) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", millimetres);
    return text;
}

TVirtualCutter::TVirtualCutter(TCutterConfig config)
    : FConfig(std::move(config)), FScaleX(FConfig.ScaleX), FScaleY(FConfig.ScaleY) {}

TCutterEvents TVirtualCutter::Feed(std::string_view bytes) {
    TCutterCommands commands;
    TCutterEvents events;
    FReader.Feed(bytes, commands, events);
    FReader.Flush(events);
    for (const TCutterCommand& command : commands) {
        Execute(command, events);
    }
    return events;
}

void TVirtualCutter::Execute(const TCutterCommand& command, TCutterEvents& events) {
    events.push_back({TEventKind::ekCommand, command.Raw});
    if (command.Kind == TCommandKind::ckDeviceControl) {
        ExecuteDeviceControl(command, events);
    } else {
        ExecuteHpgl(command, events);
    }
}

double TVirtualCutter::CutLengthXMm(double units) const {
    return units * (kNominalScale / kUnitsPerMillimetre) * FConfig.ErrorX / FScaleX;
}

double TVirtualCutter::CutLengthYMm(double units) const {
    return units * (kNominalScale / kUnitsPerMillimetre) * FConfig.ErrorY / FScaleY;
}

void TVirtualCutter::ExecuteDeviceControl(const TCutterCommand& command, TCutterEvents& events) {
    if (command.Name == "R") {
        ExecuteReadQuery(command, events);
    } else if (command.Name == "C" && command.Parameters.starts_with("6;")) {
        ExecuteFlashWrite(command, events);
    } else {
        events.push_back(Ignored(command, "unknown device-control instruction"));
    }
}

void TVirtualCutter::ExecuteReadQuery(const TCutterCommand& command, TCutterEvents& events) {
    std::string reply;
    if (command.Parameters == "1") {
        reply = SettingsReply();
    } else if (command.Parameters == "3") {
        reply = ScaleReply();
    } else if (command.Parameters == "4") {
        reply = IdentityReply();
    } else {
        events.push_back(Ignored(command, "unknown read register"));
        return;
    }
    events.push_back({TEventKind::ekReply, reply});
}

void TVirtualCutter::ExecuteFlashWrite(const TCutterCommand& command, TCutterEvents& events) {
    const std::vector<std::string_view> parts = SplitOn(command.Parameters, ';');
    const auto value = parts.size() == 3 ? ParseInteger(parts[2]) : std::nullopt;
    if (!value || (parts[1] != "0" && parts[1] != "1")) {
        events.push_back(Ignored(command, "expected 6;<0 or 1>;<integer>"));
        return;
    }
    if (FConfig.IgnoresFlashWrites) {
        events.push_back(Ignored(command, "the flash takes no write (fault ignore-write)"));
        return;
    }
    const bool axisX = parts[1] == "1";
    std::int32_t& scale = axisX ? FScaleX : FScaleY;
    std::string text = std::string("flash ") + (axisX ? "X" : "Y") + " scale " +
                       std::to_string(scale) + " -> " + std::to_string(*value);
    if (*value <= 0) {
        text += " (unusable: cuts refused until a positive value is written)";
    }
    scale = *value;
    ++FFlashWriteCount;
    events.push_back({TEventKind::ekFlashWrite, text});
}

std::string TVirtualCutter::SizeReply() const {
    return std::to_string(FConfig.ClipLowerLeftX) + "," + std::to_string(FConfig.ClipLowerLeftY) +
           "," + std::to_string(FConfig.ClipUpperRightX) + "," +
           std::to_string(FConfig.ClipUpperRightY) + "\r";
}

std::string TVirtualCutter::SettingsReply() const {
    std::string reply = "0";
    for (std::int32_t value :
         {FConfig.MediaWeight, FConfig.Force, FConfig.OffsetThousandths, FConfig.Quality,
          FConfig.Smooth, FConfig.AutoUnroll, FConfig.MediaType}) {
        reply += ',';
        reply += std::to_string(value);
    }
    return reply + "\r";
}

std::string TVirtualCutter::IdentityReply() const {
    return "0,0," + FConfig.FirmwareModel + "," + FConfig.FirmwareVersion + "\r";
}

std::string TVirtualCutter::ScaleReply() const {
    return "0," + std::to_string(FScaleX) + "," + std::to_string(FScaleY) + "\r";
}

void TVirtualCutter::ExecuteHpgl(const TCutterCommand& command, TCutterEvents& events) {
    const std::string& name = command.Name;
    if (name == "OH" && TrimSpaces(command.Parameters).empty()) {
        events.push_back({TEventKind::ekReply, SizeReply()});
    } else if (name == "PU" || name == "PD") {
        ExecuteMove(command, name == "PD", false, events);
    } else if (name == "PA" || name == "PR") {
        FRelative = name == "PR";
        ExecuteMove(command, FPenDown, true, events);
    } else if (name == "SP") {
        ExecuteSelectPen(command, events);
    } else if (name == "VS") {
        ExecuteVelocity(command, events);
    } else if (name == "IN" && TrimSpaces(command.Parameters).empty()) {
        PenUp(events);
        FRelative = false;
        FPenX = FPenY = 0;
    } else {
        events.push_back(Ignored(command, "unknown instruction"));
    }
}

void TVirtualCutter::ExecuteMove(const TCutterCommand& command, bool penDown, bool keepsPen,
                                 TCutterEvents& events) {
    const auto numbers = ParseNumberList(command.Parameters);
    if (!numbers || numbers->size() % 2 != 0) {
        events.push_back(Ignored(command, "coordinates must be pairs of numbers"));
        return;
    }
    if (!keepsPen) {
        if (penDown) {
            PenDown();
        } else {
            PenUp(events);
        }
    }
    for (std::size_t i = 0; i < numbers->size(); i += 2) {
        const double x = (*numbers)[i];
        const double y = (*numbers)[i + 1];
        if (FRelative) {
            MoveTo(FPenX + x, FPenY + y);
        } else {
            MoveTo(x, y);
        }
    }
}

void TVirtualCutter::ExecuteSelectPen(const TCutterCommand& command, TCutterEvents& events) {
    const std::string_view text = TrimSpaces(command.Parameters);
    const auto pen = text.empty() ? std::optional<std::int32_t>(0) : ParseInteger(text);
    if (!pen || *pen < 0) {
        events.push_back(Ignored(command, "pen must be a number 0 or above"));
        return;
    }
    PenUp(events);
    FPen = *pen;
}

void TVirtualCutter::ExecuteVelocity(const TCutterCommand& command, TCutterEvents& events) {
    const std::string_view text = TrimSpaces(command.Parameters);
    const auto velocity = text.empty() ? std::optional<double>(0) : ParseDecimal(text);
    if (!velocity || *velocity < 0) {
        events.push_back(Ignored(command, "velocity must be a number 0 or above"));
        return;
    }
    FVelocity = *velocity;
}

void TVirtualCutter::PenDown() {
    if (FPenDown) {
        return;
    }
    FPenDown = true;
    FPathUnits.assign(1, {FPenX, FPenY});
    FPathMinX = FPathMaxX = FPenX;
    FPathMinY = FPathMaxY = FPenY;
    FPathMoves = 0;
}

void TVirtualCutter::PenUp(TCutterEvents& events) {
    if (!FPenDown) {
        return;
    }
    FinishPath(events);
    FPenDown = false;
}

void TVirtualCutter::MoveTo(double x, double y) {
    FPenX = x;
    FPenY = y;
    if (!FPenDown) {
        return;
    }
    ++FPathMoves;
    if (FPathUnits.size() < kMaxPathPoints) {
        FPathUnits.push_back({x, y});
    } else {
        FPathUnits.back() = {x, y};
    }
    FPathMinX = std::min(FPathMinX, x);
    FPathMaxX = std::max(FPathMaxX, x);
    FPathMinY = std::min(FPathMinY, y);
    FPathMaxY = std::max(FPathMaxY, y);
}

void TVirtualCutter::FinishPath(TCutterEvents& events) {
    const double widthUnits = FPathMaxX - FPathMinX;
    const double heightUnits = FPathMaxY - FPathMinY;
    if (FPathMoves == 0 || (widthUnits == 0 && heightUnits == 0)) {
        return;
    }
    if (FScaleX <= 0 || FScaleY <= 0) {
        events.push_back({TEventKind::ekIgnored, "cut refused: flash scale " +
                                                     std::to_string(FScaleX) + "/" +
                                                     std::to_string(FScaleY) + " is unusable"});
        return;
    }
    TCut cut;
    const TPointMm start = FPathUnits.front();
    cut.Closed = std::fabs(FPenX - start.X) < kSamePointUnits &&
                 std::fabs(FPenY - start.Y) < kSamePointUnits;
    cut.WidthUnits = widthUnits;
    cut.HeightUnits = heightUnits;
    cut.WidthMm = CutLengthXMm(widthUnits);
    cut.HeightMm = CutLengthYMm(heightUnits);
    for (const TPointMm& point : FPathUnits) {
        cut.PathMm.push_back(ToMillimetres(point.X, point.Y));
    }
    std::string text = std::string(cut.Closed ? "cut closed shape " : "cut open path ") +
                       FormatMillimetres(cut.WidthMm) + " x " + FormatMillimetres(cut.HeightMm) +
                       " mm (" + FormatUnits(widthUnits) + " x " + FormatUnits(heightUnits) +
                       " units, scale " + std::to_string(FScaleX) + "/" + std::to_string(FScaleY) +
                       ")";
    events.push_back({TEventKind::ekCut, text});
    KeepCut(std::move(cut));
}

void TVirtualCutter::KeepCut(TCut cut) {
    FCuts.push_back(std::move(cut));
    if (FCuts.size() > kMaxKeptCuts) {
        FCuts.pop_front();
    }
    ++FCutCount;
}

TPointMm TVirtualCutter::ToMillimetres(double xUnits, double yUnits) const {
    return {CutLengthXMm(xUnits), CutLengthYMm(yUnits)};
}

} // namespace sim
