// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sim/command_reader.h"
#include "sim/cutter_event.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Plotter units per millimetre on a cutter whose mechanics are exact and whose scale is 1000.
inline constexpr double kUnitsPerMillimetre = 40.0;
// The scale value with which one unit cuts exactly 0.025 mm on exact mechanics.
inline constexpr double kNominalScale = 1000.0;

struct TCutterConfig {
    // Hard-clip limits in plotter units (the answer to "OH;").
    std::int32_t ClipLowerLeftX = 0;
    std::int32_t ClipLowerLeftY = 0;
    std::int32_t ClipUpperRightX = 24000;
    std::int32_t ClipUpperRightY = 50000;
    // Settings (the answer to ESC ".R1:").
    std::int32_t MediaWeight = 30;
    std::int32_t Force = 80;
    std::int32_t OffsetThousandths = 250;
    std::int32_t Quality = 5;
    std::int32_t Smooth = 1;
    std::int32_t AutoUnroll = 0;
    std::int32_t MediaType = 2;
    // Identity (the answer to ESC ".R4:"): the version is followed by a space and a date.
    std::string FirmwareModel = "TC-60";
    std::string FirmwareVersion = "2.10 0305";
    // Flash contents at power-on (the answer to ESC ".R3:"). They differ per axis, as a
    // real cutter's do, so a value computed from the wrong axis shows.
    std::int32_t ScaleX = 1012;
    std::int32_t ScaleY = 996;
    // How much longer than commanded the mechanics cut along each axis at the scale
    // kNominalScale (1.01: 1 % long). The cutter's own mechanics are made up for exactly
    // by its flash scales: it cuts what it is told.
    double ErrorX = 1.012;
    double ErrorY = 0.996;
    // A cutter whose flash takes no write: it answers every write as before, and keeps
    // its old scale values.
    bool IgnoresFlashWrites = false;
};

struct TPointMm {
    double X = 0;
    double Y = 0;
};

// One stroke of the blade, from pen down to pen up, as it came out on the media.
struct TCut {
    std::vector<TPointMm> PathMm; // at most kMaxPathPoints points
    bool Closed = false;          // ends where it started
    double WidthMm = 0;           // extent along X
    double HeightMm = 0;          // extent along Y
    double WidthUnits = 0;        // the same extents as commanded, in plotter units
    double HeightUnits = 0;
};

inline constexpr std::size_t kMaxPathPoints = 10000;
inline constexpr std::size_t kMaxKeptCuts = 1000;
// HP-GL coordinates are limited to this magnitude; larger ones are refused.
inline constexpr double kMaxCoordinate = 1073741823.0;

// A cutter as seen from its cable: it executes commands, answers queries, cuts and keeps
// its scale values in flash. Single-threaded; its owner serialises access.
class TVirtualCutter {
public:
    explicit TVirtualCutter(TCutterConfig config = {});

    // Executes one command and appends what happened (the command itself first, then any
    // reply, cut, flash write or note) to `events`.
    void Execute(const TCutterCommand& command, TCutterEvents& events);
    // Reads `bytes` with the cutter's own reader and executes every command completed.
    TCutterEvents Feed(std::string_view bytes);

    // The configuration at start, with the force changed at the cutter since.
    const TCutterConfig& Config() const { return FConfig; }
    // One press of the force key on the cutter's own panel; the settings reply says it.
    void RaiseForce() { ++FConfig.Force; }
    std::int32_t ScaleX() const { return FScaleX; }
    std::int32_t ScaleY() const { return FScaleY; }
    std::size_t FlashWriteCount() const { return FFlashWriteCount; }
    // The most recent cuts, oldest first (at most kMaxKeptCuts).
    const std::deque<TCut>& Cuts() const { return FCuts; }
    // Total number of cuts made, also those no longer kept.
    std::size_t CutCount() const { return FCutCount; }
    double PenXUnits() const { return FPenX; }
    double PenYUnits() const { return FPenY; }
    bool PenIsDown() const { return FPenDown; }
    bool RelativeMode() const { return FRelative; }
    int SelectedPen() const { return FPen; }
    double Velocity() const { return FVelocity; }

    // Millimetres that `units` plotter units cut along each axis with the current flash.
    double CutLengthXMm(double units) const;
    double CutLengthYMm(double units) const;

private:
    void ExecuteDeviceControl(const TCutterCommand& command, TCutterEvents& events);
    void ExecuteHpgl(const TCutterCommand& command, TCutterEvents& events);
    void ExecuteReadQuery(const TCutterCommand& command, TCutterEvents& events);
    void ExecuteFlashWrite(const TCutterCommand& command, TCutterEvents& events);
    void ExecuteMove(const TCutterCommand& command, bool penDown, bool keepsPen,
                     TCutterEvents& events);
    void ExecuteSelectPen(const TCutterCommand& command, TCutterEvents& events);
    void ExecuteVelocity(const TCutterCommand& command, TCutterEvents& events);

    std::string SizeReply() const;
    std::string SettingsReply() const;
    std::string IdentityReply() const;
    std::string ScaleReply() const;

    void PenDown();
    void PenUp(TCutterEvents& events);
    void MoveTo(double x, double y);
    void FinishPath(TCutterEvents& events);
    void KeepCut(TCut cut);
    TPointMm ToMillimetres(double xUnits, double yUnits) const;

    TCutterConfig FConfig;
    TCommandReader FReader;
    std::int32_t FScaleX;
    std::int32_t FScaleY;
    std::size_t FFlashWriteCount = 0;

    double FPenX = 0;
    double FPenY = 0;
    bool FPenDown = false;
    bool FRelative = false;
    double FVelocity = 0;
    int FPen = 0;

    // The stroke under way while the pen is down, in plotter units.
    std::vector<TPointMm> FPathUnits;
    double FPathMinX = 0, FPathMaxX = 0, FPathMinY = 0, FPathMaxY = 0;
    std::size_t FPathMoves = 0;

    std::deque<TCut> FCuts;
    std::size_t FCutCount = 0;
};

// Formats a length in millimetres the way the transcript shows it ("50.50").
std::string FormatMillimetres(double millimetres);

} // namespace sim
