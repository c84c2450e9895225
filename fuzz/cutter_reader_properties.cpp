// SPDX-License-Identifier: GPL-3.0-or-later
// The checks of the virtual cutter's command reader and of the cutter behind it.

#include "fuzz/property_support.h"
#include "sim/command_reader.h"
#include "sim/cutter_model.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace hardening {

namespace {

// A note of the cutter's reader quotes at most a short preview of what it dropped.
constexpr std::size_t kLongestReaderNote = 128;

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

} // namespace hardening
