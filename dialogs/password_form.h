// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wizard's last step: the password that lets the new scale be written into the
// cutter's flash. The scale is written only from a reading of the cutter's scale values
// decoded after the last Save, on the link it was read from, for the measurement whose
// corrected cut was sent. One corrupted byte must not fake a reading: after the password
// the scale is read again and written only when both replies are the same, and the write
// is read back before it is reported as saved.

#include "dialogs/wizard_dialog.h"

#include <exception>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

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
    TPasswordForm(app::TMainForm& mainForm, TWizardFlow& flow);

    QLabel* Label1 = nullptr;
    QLineEdit* EdPassword = nullptr;
    QPushButton* BnOk = nullptr;

    void FormShow() override;
    void BnOkClick();

    // Called by Save before the scale query is sent: only a reading decoded after this
    // may be written.
    void AwaitScaleReading();

private:
    // Where the save stands: waiting for the reading Save asked for, for the second
    // reading after the password, or for the reading back of the write.
    enum TSaveStep { ssIdle, ssAwaitingReading, ssConfirming, ssReadingBack };

    bool ScaleReadingFresh() const;
    void Confirm();
    void WriteIfConfirmed();
    void WriteScale();
    void CheckReadBack(bool decoded);
    void Finish(int result, const std::string& message);
    void Refuse(const std::exception& why);
    std::string WrittenScale() const;
    // A scale query that ended without a reading ends the wait: the poll cycle has told
    // the operator, and nothing can be written.
    void OnScaleQueryEnded(bool decoded);

    TSaveStep FStep = ssIdle;
    std::optional<int> FScaleRepliesAtSave;
    std::string FPortTextAtSave;
    std::string FFirstReading;
};

} // namespace dialogs
