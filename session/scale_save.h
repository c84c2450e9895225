// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writing a new scale into the cutter's flash, as one operation of the session. Save asks
// for a reading of the cutter's scale values; once the operator has given the password,
// the scale is read a second time, written only when both readings agree, and read back
// before it counts as saved. Only a reading decoded after the last Save is written, and
// only on the link it was read from. However it ends, it ends with one Ended signal, never
// emitted inside a tick; the same signal says why Start changed nothing (no fresh
// reading) or why the write did not go out (the reading then still counts). A write is
// recorded in the journal the save is given, just before it and once its outcome is known.
// The shell starts the same save with values of its own (StartWith).

#include "protocol/cutter_settings.h"
#include "session/exchange_state.h"
#include "session/outcome.h"
#include "session/port_entry.h"
#include "session/scale_journal.h"

#include <QObject>

#include <cstdint>
#include <optional>
#include <string>

namespace session {

class TCutterSession;

enum TScaleSaveResult : std::uint8_t {
    srSaved,             // written, and the cutter reports the values written
    srNoFreshReading,    // no reading since Save is in hand yet: nothing changed
    srNoReading,         // the reading Save asked for ended without a reading
    srPortChanged,       // the port is not the one the reading came from
    srMeasurementNotCut, // the corrected cut for this measurement was not sent
    srScaleRefused,      // the reading gives no scale to write (Reason says why)
    srNotConfirmed,      // the second reading did not come
    srReadingsDiffer,    // the second reading differs from the first
    srWriteNotSent,      // the link was not ready: the reading still counts
    srReadBackMissing,   // written, but no reading came back
    srReadBackDiffers,   // written, but the cutter reports other values
    srWithdrawn,         // the operator turned away before the write
};

struct TScaleSaveOutcome {
    TScaleSaveResult Result = srSaved;
    std::string Reason;
    // The two readings as the cutter sent them.
    std::string FirstReading;
    std::string SecondReading;
    // The values written, and those the read-back reported.
    TScaleValues Written;
    TScaleValues Reported;
    // The journal the write was recorded in, or why it could not be.
    std::string JournalPath;
    std::string JournalFailure;
};

// How an outcome is named in the journal: "saved", "read-back differs", ...
std::string OutcomeName(TScaleSaveResult result);

// What a save started from the shell writes: the values given, or else the values the
// wizard's arithmetic gives for the reading and these sizes (plotter units), where an axis
// kept holds the reading's value.
struct TScaleTarget {
    std::optional<TScaleValues> Values;
    TPlotterSize TestSize{};
    TPlotterSize Measured{};
    bool KeepX = false;
    bool KeepY = false;
    // A calibration's readings behind Measured, for the journal.
    std::optional<TCalibrationRecord> Calibration{};
};

// The values the target gives for this reading: those given (each above zero), or the
// wizard's arithmetic on the reading and the sizes (the reading's own value on an axis
// kept). Throws toolkit::EConvertError when it gives none.
TScaleValues TargetValues(const TScaleTarget& target, const protocol::CutterSettings& reading);

// Where a save records its writes, and the device behind the port for the record.
struct TJournalUse {
    const TScaleJournal* Journal = nullptr;
    TJournalSource Source = jsWindow;
    // The shell writes nothing it cannot record; the window's save goes on and says why.
    bool Required = false;
    std::string DevicePath{};
    std::string UsbDeviceId{};
};

// What the save does on the session's link beyond the session's face: the write and the
// read-back it sends, the values a write of the wizard's would carry, and the port list's
// entry that names the device behind a port.
class TScaleSaveLink {
public:
    // Writes `values` into the cutter's flash; a refusal of the USB guard is reported by
    // the session's Failed signal as well.
    virtual TOutcome WriteScale(const TScaleValues& values) = 0;
    // The scale query that reads a write back: the cutter is given the time its flash
    // takes, and the save reports a silence.
    virtual void SendScaleReadBack() = 0;
    // From the last reading and the sizes of the last test and corrected cuts;
    // toolkit::EConvertError when they give none.
    virtual TScaleValues ScaleToWrite() const = 0;
    // An empty entry when the port list held none under `portName`.
    virtual TPortEntry ListedPort(const std::string& portName) const = 0;

protected:
    ~TScaleSaveLink() = default;
};

class TScaleSave : public QObject {
    Q_OBJECT

public:
    TScaleSave(TCutterSession& session, TScaleSaveLink& link);

    // Save: forgets any earlier reading and asks the cutter for its scale values.
    void ReadScale();
    // The password was accepted. `measurementInEffect`: the test and measured sizes are
    // still those of the last corrected cut sent.
    void Start(bool measurementInEffect);
    // The shell's start, once the reading is in hand: the same guards, the target's values.
    void StartWith(const TScaleTarget& target);
    void UseJournal(TJournalUse use) { FJournal = std::move(use); }
    // The operator turned away: a save not yet written is not written.
    void Withdraw();
    // Between the password and the outcome: its exchanges are under way.
    bool OnTheLine() const { return FStep == stConfirming || FStep == stReadingBack; }

signals:
    void Ended(const session::TScaleSaveOutcome& outcome);

private:
    enum TStep : std::uint8_t { stIdle, stAwaitingReading, stConfirming, stReadingBack };

    bool ReadingFresh() const;
    void Begin(std::optional<TScaleTarget> target, bool measurementInEffect);
    TScaleValues ValuesToWrite() const;
    bool RecordBefore(const TScaleValues& values);
    void RecordAfter(TScaleSaveOutcome& outcome);
    void Confirm();
    void WriteIfConfirmed();
    void Write();
    void CheckReadBack(bool decoded);
    void OnScaleQueryEnded(bool decoded);
    void End(TScaleSaveOutcome outcome);
    void EndWith(TScaleSaveResult result);

    TCutterSession& FSession;
    TScaleSaveLink& FLink;
    TStep FStep = stIdle;
    int FRepliesAtSave = 0;
    std::string FPortAtSave;
    std::string FFirstReading;
    std::optional<TScaleTarget> FTarget;
    TJournalUse FJournal;
    std::string FJournalId; // the record before the write under way
    std::string FJournalFailure;
};

} // namespace session
