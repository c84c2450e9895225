// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/scale_save.h"

#include "protocol/reply_decoding.h"
#include "session/cutter_session.h"

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

} // namespace

TScaleSave::TScaleSave(TCutterSession& session) : FSession(session) {
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

// A reading that gives no scale to write (0, or a product past the range) ends the save
// here, before the link is used again.
void TScaleSave::Start(bool measurementInEffect) {
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
    try {
        FSession.ScaleToWrite();
    } catch (const std::exception& error) {
        End(Refusal(error));
        return;
    }
    Confirm();
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
// a write the link did not take whole) did not reach the cutter, even where the monitor keeps the link open; the reading
// still counts for another try.
void TScaleSave::Write() {
    TSendOutcome sent = soLinkNotReady;
    try {
        sent = FSession.SendWriteScale();
    } catch (const std::exception& error) {
        End(Refusal(error));
        return;
    }
    if (sent != soWritten) {
        FStep = stAwaitingReading;
        emit Ended(OutcomeOf(srWriteNotSent));
        return;
    }
    FStep = stReadingBack;
    FSession.SendScaleReadBack();
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
    emit Ended(outcome);
}

void TScaleSave::EndWith(TScaleSaveResult result) {
    End(OutcomeOf(result));
}

} // namespace session
