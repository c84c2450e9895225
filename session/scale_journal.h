// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The scale journal: every write of the cutter's scale, from the window or the shell, as
// two lines of JSON in one file, a record before the write (what the cutter held, what is
// written, where) and one after it (how it ended), tied by an id. Each record is flushed
// to disk before the program goes on. A line is whole or absent: an append after a line
// cut short starts on a fresh line, and an append that fails part-way is cut back, so a
// crash costs at most the record being written. A line cut short is skipped when read.

#include "session/calibration_record.h"
#include "session/exchange_state.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace session {

enum TJournalSource : std::uint8_t { jsWindow, jsShell };

// The record before a write.
struct TJournalBefore {
    std::string Id;   // the record after names it
    std::string Time; // UTC, ISO 8601
    TJournalSource Source = jsWindow;
    std::string Port;
    std::string DevicePath;
    std::string UsbDeviceId;
    std::string FirmwareModel; // empty when not known
    std::string FirmwareVersion;
    // Confirmed by two identical readings. Nothing where the file holds no whole numbers.
    std::optional<TScaleValues> Reading;
    std::optional<TScaleValues> Written;
    // The test cut's size and its measurement in millimetres, when the values came from them.
    std::optional<TPlotterSize> TestSizeMm;
    std::optional<TPlotterSize> MeasuredMm;
    // The shell's calibration: its readings (MeasuredMm is their mean) and their uncertainty.
    std::optional<TCalibrationRecord> Calibration;
};

// The record after a write.
struct TJournalAfter {
    std::string Id;
    std::string Time;
    std::string Outcome; // "saved", "read-back differs", ...
    std::optional<TScaleValues> ReadBack;
};

inline constexpr const char* kOutcomeSaved = "saved";
inline constexpr const char* kOutcomeUnknown = "outcome unknown";

// One write as the journal tells it; without its record after, its outcome is unknown.
struct TJournalEntry {
    TJournalBefore Before;
    std::optional<TJournalAfter> After;

    std::string Outcome() const { return After ? After->Outcome : kOutcomeUnknown; }
};

// The entries oldest first, and a warning for each line that was not a whole record.
struct TJournalContents {
    std::vector<TJournalEntry> Entries;
    std::vector<std::string> Warnings;
    // Why a journal that exists could not be read; the entries are then not all there.
    std::optional<std::string> Failure;
};

class TScaleJournal {
public:
    explicit TScaleJournal(std::string path) : FPath(std::move(path)) {}

    const std::string& Path() const { return FPath; }
    // Appends the record as one line and flushes it (and a folder it made) to disk. Returns
    // why it could not, or nothing. Only a regular file is a journal: a FIFO or a device
    // in its place is refused, never waited on.
    std::optional<std::string> Append(const TJournalBefore& record) const;
    std::optional<std::string> Append(const TJournalAfter& record) const;
    // A journal not yet written holds no entries; one that cannot be read says why.
    TJournalContents Read() const;

private:
    std::optional<std::string> AppendLine(const std::string& line) const;

    std::string FPath;
};

// $XDG_STATE_HOME/tessaro/scale-journal.jsonl, ~/.local/state/... when that is unset.
std::string DefaultJournalPath();
// Now, in UTC: "2026-12-08T18:34:02Z".
std::string UtcNow();
// A new id, for the record before a write.
std::string NewJournalId();
// The record's line, and the record a line holds (nothing when the line is not one).
std::string JournalLine(const TJournalBefore& record);
std::string JournalLine(const TJournalAfter& record);

} // namespace session
