// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/password_form.h"

#include "dialogs/dialog_look.h"
#include "dialogs/scale_form2.h"
#include "dialogs/wizard_flow.h"
#include "session/cutter_session.h"

#include <QHideEvent>
#include <QString>

namespace dialogs {

namespace {

constexpr TControlRow kControls[] = {
    {ckLabel, "Label1", "Password:", {12, 24, 0, 0}},
    {ckEdit, "EdPassword", "", {92, 20, 84, 26}, "Password"},
    {ckDefaultButton, "BnOk", "OK", {57, 66, 0, 0}},
};
constexpr TDialogSheet kSheet{"PasswordForm", "password", {189, 106}, kControls};

std::string Scale(const session::TScaleValues& values) {
    return std::to_string(values.X) + ", " + std::to_string(values.Y);
}

// The text with its %1 (and %2) filled in, each value once.
template <typename... TValues>
std::string Filled(const char* text, const TValues&... values) {
    return QString::fromUtf8(text).arg(QString::fromStdString(values)...).toStdString();
}

std::string TrimmedReading(const std::string& reading) {
    return QString::fromLatin1(reading).trimmed().toStdString();
}

} // namespace

TPasswordForm::TPasswordForm(TWizardFlow& flow) : TWizardDialog(flow, kSheet) {
    EdPassword->setEchoMode(QLineEdit::Password);
    // One "*" per character typed, whatever the style's own mask character.
    EdPassword->setStyleSheet("lineedit-password-character: 42");
    OnClick(BnOk, FFlow, [this] { BnOkClick(); });
    connect(&ScaleSave(), &session::TScaleSave::Ended, this,
            [this](const session::TScaleSaveOutcome& outcome) {
                RunGuarded(FFlow, [this, &outcome] { ShowOutcome(outcome); });
            });
}

void TPasswordForm::FormShow() {
    EdPassword->clear();
}

void TPasswordForm::AwaitScaleReading() {
    BnOk->setEnabled(true);
    ScaleSave().ReadScale();
}

void TPasswordForm::BnOkClick() {
    if (EdPassword->text() != kPassword) {
        FFlow.Prompts().ShowMessage(kInvalidPasswordText);
        return;
    }
    ScaleSave().Start(FFlow.ScaleForm2()->MeasurementInEffect());
    BnOk->setEnabled(!ScaleSave().OnTheLine());
}

void TPasswordForm::hideEvent(QHideEvent* event) {
    TWizardDialog::hideEvent(event);
    if (!event->spontaneous()) {
        ScaleSave().Withdraw();
    }
}

// Outcomes that leave a reading to write keep the dialog open; a save that was withdrawn
// or went unanswered says nothing more (the poll cycle told of the silence).
void TPasswordForm::ShowOutcome(const session::TScaleSaveOutcome& outcome) {
    BnOk->setEnabled(true);
    LogJournal(outcome);
    switch (outcome.Result) {
    case session::srSaved:
        Finish(QDialog::Accepted, kSaveCompleteText);
        return;
    case session::srNoFreshReading:
        FFlow.Prompts().ShowMessage(kAwaitingScaleText);
        return;
    case session::srWriteNotSent:
        FFlow.Prompts().ShowMessage(kWriteNotSentText);
        return;
    case session::srPortChanged:
        done(QDialog::Rejected);
        FFlow.Prompts().ShowMessage(kPortChangedText);
        return;
    case session::srMeasurementNotCut:
        done(QDialog::Rejected);
        FFlow.Prompts().ShowMessage(kMeasurementNotCutText);
        return;
    case session::srScaleRefused:
        Finish(QDialog::Rejected, Filled(kScaleRefusedText, outcome.Reason));
        return;
    case session::srReadingsDiffer:
        Finish(QDialog::Rejected, Filled(kReadingsDifferText, TrimmedReading(outcome.FirstReading),
                                         TrimmedReading(outcome.SecondReading)));
        return;
    case session::srReadBackMissing:
        Finish(QDialog::Rejected, Filled(kReadBackMissingText, Scale(outcome.Written)));
        return;
    case session::srReadBackDiffers:
        Finish(QDialog::Rejected,
               Filled(kReadBackDiffersText, Scale(outcome.Written), Scale(outcome.Reported)));
        return;
    case session::srNoReading:
    case session::srNotConfirmed:
    case session::srWithdrawn:
        if (isVisible()) {
            done(QDialog::Rejected);
        }
        return;
    }
}

// A write's records are in the journal, or the log says why and where they are not.
void TPasswordForm::LogJournal(const session::TScaleSaveOutcome& outcome) {
    if (!outcome.JournalFailure.empty()) {
        FFlow.Log("The scale journal could not be written: " + outcome.JournalFailure);
    } else if (!outcome.JournalPath.empty()) {
        FFlow.Log("Scale journal: " + outcome.JournalPath);
    }
}

void TPasswordForm::Finish(int result, const std::string& message) {
    done(result);
    FFlow.Log(message);
    FFlow.Prompts().ShowMessage(message);
}

session::TScaleSave& TPasswordForm::ScaleSave() {
    return FFlow.Session().ScaleSave();
}

} // namespace dialogs
