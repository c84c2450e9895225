// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wizard's last step: the password that lets the new scale be written into the
// cutter's flash. The session's scale save reads, confirms, writes and reads back; this
// dialog checks the password, starts the save and shows how it ended.

#include "dialogs/wizard_dialog.h"

#include <QLineEdit>
#include <QPushButton>

#include <string>

class QHideEvent;

namespace session {
class TScaleSave;
struct TScaleSaveOutcome;
} // namespace session

namespace dialogs {

inline constexpr const char* kPassword = "047";
inline constexpr const char* kInvalidPasswordText = "Invalid Password !!";
inline constexpr const char* kSaveCompleteText = "Save Complete !!";
inline constexpr const char* kAwaitingScaleText =
    "Waiting for the cutter's scale values. Please try again in a moment.";
inline constexpr const char* kMeasurementNotCutText =
    "The corrected cut for this measurement was not sent to the cutter, so the new scale "
    "was not written. Please run Scaling again.";
inline constexpr const char* kPortChangedText =
    "The port was changed after the cutter's scale values were read, so the new scale was "
    "not written. Please run Scaling again.";
inline constexpr const char* kReadingsDifferText =
    "The cutter's scale values read twice differ ('%1' then '%2'), so nothing was written. "
    "Please check the cable and run Scaling again.";
inline constexpr const char* kReadBackDiffersText =
    "The new scale %1 was sent, but the cutter now reports %2: the write may not have "
    "taken. Please check the cutter and run Scaling again.";
inline constexpr const char* kReadBackMissingText =
    "The new scale %1 was sent, but the cutter's scale could not be read back: the write "
    "may not have taken. Please check the cutter and run Scaling again.";
inline constexpr const char* kScaleRefusedText =
    "%1, so nothing was written. Please check the cutter and run Scaling again.";
inline constexpr const char* kWriteNotSentText =
    "The new scale was not written: the cutter could not be reached. Please check the "
    "link and click OK again.";

class TPasswordForm : public TWizardDialog {
    Q_OBJECT

public:
    explicit TPasswordForm(TWizardFlow& flow);

    QLineEdit* EdPassword = Control<QLineEdit>("EdPassword");
    QPushButton* BnOk = Control<QPushButton>("BnOk");

    void FormShow() override;
    void BnOkClick();

    // Save: the session reads the cutter's scale values; only a reading decoded after
    // this may be written.
    void AwaitScaleReading();

protected:
    // Closed before the write: nothing is written.
    void hideEvent(QHideEvent* event) override;

private:
    void ShowOutcome(const session::TScaleSaveOutcome& outcome);
    void LogJournal(const session::TScaleSaveOutcome& outcome);
    // Closes the dialog; the outcome also goes to the log, where it stays once the box is
    // closed.
    void Finish(int result, const std::string& message);
    session::TScaleSave& ScaleSave();
};

} // namespace dialogs
