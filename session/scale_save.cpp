// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/scale_save.h"

#include "protocol/reply_decoding.h"
#include "session/cutter_session.h"
#include "toolkit/conversions.h"

#include <exception>
#include <utility>

namespace session {

namespace {

TScaleSaveOutcome OutcomeOf(TScaleSaveResult result) {
    TScaleSaveOutcome outcome;
    outcome.Result = result;
    return outcome;
}

TScaleSaveOutcome Refusal(const std::exception& error) {
    TScaleSaveOutcome outcome = OutcomeOf(srScaleRefused);
    outcome.Reason = error.what();
    return outcome;
}

constexpr double kUnitsPerMillimetre = 40;

TPlotterSize Millimetres(const TPlotterSize& units) {
    return {units.X / kUnitsPerMillimetre, units.Y / kUnitsPerMillimetre};
}

void RequireAboveZero(std::int32_t value) {
    if (value <= 0) {
        throw toolkit::EConvertError("The scale value " + std::to_string(value) +
                                     " is not above zero");
    }
}

} // namespace

std::string OutcomeName(TScaleSaveResult result) {
    switch (result) {
    case srSaved:
        return kOutcomeSaved;
    case srNoFreshReading:
        return "no fresh reading";
    case srNoReading:
        return "no reading";
    case srPortChanged:
        return "port changed";
    case srMeasurementNotCut:
        return "measurement not cut";
    case srScaleRefused:
        return "refused";
    case srNotConfirmed:
        return "reading not confirmed";
    case srReadingsDiffer:
        return "readings differ";
    case srWriteNotSent:
        return "write not sent";
    case srReadBackMissing:
        return "read-back missing";
    case srReadBackDiffers:
        return "read-back differs";
    case srWithdrawn:
        return "withdrawn";
    }
    return "refused";
}

TScaleValues TargetValues(const TScaleTarget& target, const protocol::CutterSettings& reading) {
    if (target.Values) {
        RequireAboveZero(target.Values->X);
        RequireAboveZero(target.Values->Y);
        return *target.Values;
    }
    const TScaleValues computed{
        protocol::NewScaleValue(reading.ScaleX, target.Measured.X, target.TestSize.X),
        protocol::NewScaleValue(reading.ScaleY, target.Measured.Y, target.TestSize.Y)};
    return {target.KeepX ? reading.ScaleX : computed.X, target.KeepY ? reading.ScaleY : computed.Y};
}

TScaleSave::TScaleSave(TCutterSession& session, TScaleSaveLink& link)
    : FSession(session), FLink(link) {
    // What a reading decides runs after the tick that ended its query: an outcome may be
    // shown in a modal box, which must never run inside a tick.
    connect(&FSession, &TCutterSession::ScaleQueryEnded, this, &TScaleSave::OnScaleQueryEnded,
            Qt::QueuedConnection);
}

void TScaleSave::ReadScale() {
    FStep = stAwaitingReading;
    FRepliesAtSave = FSession.ScaleRepliesDecoded();
    FPortAtSave = FSession.PortName();
    FSession.SendScaleQuery();
}

void TScaleSave::Start(bool measurementInEffect) {
    Begin(std::nullopt, measurementInEffect);
}

void TScaleSave::StartWith(const TScaleTarget& target) {
    Begin(target, true);
}

// A reading that gives no scale to write (0, or a product past the range) ends the save
// here, before the link is used again.
void TScaleSave::Begin(std::optional<TScaleTarget> target, bool measurementInEffect) {
    if (FStep != stAwaitingReading || !ReadingFresh()) {
        emit Ended(OutcomeOf(srNoFreshReading));
        return;
    }
    if (FSession.PortName() != FPortAtSave) {
        EndWith(srPortChanged);
        return;
    }
    if (!measurementInEffect) {
        EndWith(srMeasurementNotCut);
        return;
    }
    FTarget = std::move(target);
    try {
        ValuesToWrite();
    } catch (const std::exception& error) {
        End(Refusal(error));
        return;
    }
    Confirm();
}

// The wizard's values come from the sizes of its last cuts; the shell's from its target.
TScaleValues TScaleSave::ValuesToWrite() const {
    if (!FTarget) {
        return FLink.ScaleToWrite();
    }
    return TargetValues(*FTarget, FSession.Settings());
}

// Returns whether the write may go on: a journal that cannot be written stops only a save
// that requires it.
bool TScaleSave::RecordBefore(const TScaleValues& values) {
    FJournalId.clear();
    FJournalFailure.clear();
    if (FJournal.Journal == nullptr) {
        return true;
    }
    const protocol::CutterSettings& reading = FSession.Settings();
    TJournalBefore record{NewJournalId(),
                          UtcNow(),
                          FJournal.Source,
                          FSession.PortName(),
                          FJournal.DevicePath,
                          FJournal.UsbDeviceId,
                          reading.FirmwareModel,
                          reading.FirmwareVersion,
                          TScaleValues{reading.ScaleX, reading.ScaleY},
                          values,
                          std::nullopt,
                          std::nullopt,
                          FTarget ? FTarget->Calibration : std::nullopt};
    // The window's save is given no device: it is the one the port list showed.
    if (record.DevicePath.empty() && record.UsbDeviceId.empty()) {
        const TPortEntry listed = FLink.ListedPort(record.Port);
        record.DevicePath = listed.DevicePath;
        record.UsbDeviceId = listed.UsbDeviceId;
    }
    if (!FTarget || !FTarget->Values) {
        record.TestSizeMm = Millimetres(FTarget ? FTarget->TestSize : FSession.TestDrawSize());
        record.MeasuredMm = Millimetres(FTarget ? FTarget->Measured : FSession.MeasuredSize());
    }
    if (const auto failure = FJournal.Journal->Append(record)) {
        if (FJournal.Required) {
            // The refusal tells the cause; it is not told again as a journal warning.
            TScaleSaveOutcome outcome = OutcomeOf(srScaleRefused);
            outcome.Reason = "the scale journal cannot be written: " + *failure;
            End(std::move(outcome));
            return false;
        }
        FJournalFailure = *failure;
        return true;
    }
    FJournalId = record.Id;
    return true;
}

// The record after names the record before; a save that never wrote has none.
void TScaleSave::RecordAfter(TScaleSaveOutcome& outcome) {
    if (FJournal.Journal == nullptr || (FJournalId.empty() && FJournalFailure.empty())) {
        return;
    }
    outcome.JournalPath = FJournal.Journal->Path();
    outcome.JournalFailure = std::exchange(FJournalFailure, {});
    if (FJournalId.empty()) {
        return;
    }
    TJournalAfter record{std::exchange(FJournalId, {}), UtcNow(), OutcomeName(outcome.Result),
                         std::nullopt};
    if (outcome.Result == srSaved || outcome.Result == srReadBackDiffers) {
        record.ReadBack = outcome.Reported;
    }
    if (const auto failure = FJournal.Journal->Append(record)) {
        outcome.JournalFailure = *failure;
    }
}

void TScaleSave::Withdraw() {
    if (FStep == stAwaitingReading || FStep == stConfirming) {
        EndWith(srWithdrawn);
    }
}

bool TScaleSave::ReadingFresh() const {
    return FSession.ScaleRepliesDecoded() > FRepliesAtSave;
}

// A byte lost on the line can turn 1000 into 100 and still look like a reading; the same
// corruption twice in a row is not to be expected, so the scale is read once more.
void TScaleSave::Confirm() {
    FFirstReading = FSession.LastScaleReply();
    FStep = stConfirming;
    FSession.SendScaleQuery();
}

void TScaleSave::WriteIfConfirmed() {
    const std::string& secondReading = FSession.LastScaleReply();
    if (!protocol::ScaleReadingsAgree(FFirstReading, secondReading)) {
        TScaleSaveOutcome outcome = OutcomeOf(srReadingsDiffer);
        outcome.FirstReading = FFirstReading;
        outcome.SecondReading = secondReading;
        End(std::move(outcome));
        return;
    }
    Write();
}

// A sender that stopped (USB cutter attached on a COM port, USB device not found, no link,
// a write the link did not take whole) did not reach the cutter, even where the monitor keeps the
// link open; the reading still counts for another try.
void TScaleSave::Write() {
    TScaleValues values;
    try {
        values = ValuesToWrite();
    } catch (const std::exception& error) {
        End(Refusal(error));
        return;
    }
    if (!RecordBefore(values)) {
        return;
    }
    TOutcome sent;
    try {
        sent = FLink.WriteScale(values);
    } catch (const std::exception& error) {
        End(Refusal(error));
        return;
    }
    if (!sent.Done()) {
        FStep = stAwaitingReading;
        TScaleSaveOutcome outcome = OutcomeOf(srWriteNotSent);
        RecordAfter(outcome);
        emit Ended(outcome);
        return;
    }
    FStep = stReadingBack;
    FLink.SendScaleReadBack();
}

// Saved only when the cutter reports the values written.
void TScaleSave::CheckReadBack(bool decoded) {
    TScaleSaveOutcome outcome = OutcomeOf(srSaved);
    outcome.Written = FSession.NewScale();
    outcome.Reported = {FSession.Settings().ScaleX, FSession.Settings().ScaleY};
    if (!decoded) {
        outcome.Result = srReadBackMissing;
    } else if (!protocol::ReadBackMatches(FSession.LastScaleReply(), outcome.Written.X,
                                          outcome.Written.Y)) {
        outcome.Result = srReadBackDiffers;
    }
    End(std::move(outcome));
}

void TScaleSave::OnScaleQueryEnded(bool decoded) {
    switch (FStep) {
    case stAwaitingReading:
        if (!decoded && !ReadingFresh()) {
            EndWith(srNoReading);
        }
        return;
    case stConfirming:
        if (!decoded) {
            EndWith(srNotConfirmed);
            return;
        }
        WriteIfConfirmed();
        return;
    case stReadingBack:
        CheckReadBack(decoded);
        return;
    case stIdle:
        return;
    }
}

// A reading is written once; another write needs another Save.
void TScaleSave::End(TScaleSaveOutcome outcome) {
    FStep = stIdle;
    FFirstReading.clear();
    RecordAfter(outcome);
    emit Ended(outcome);
}

void TScaleSave::EndWith(TScaleSaveResult result) {
    End(OutcomeOf(result));
}

} // namespace session
