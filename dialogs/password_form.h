#pragma once

// The wizard's last step: the password that lets the new scale be written into the
// cutter's flash. The scale is written only from a reading of the cutter's scale values
// decoded after the last Save, on the link it was read from, for the measurement whose
// corrected cut was sent.

#include "dialogs/wizard_dialog.h"

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
inline constexpr const char* kWriteNotSentText =
    "The new scale was not written: the cutter could not be reached. Please check the "
    "link and click OK again.";

class TPasswordForm : public TWizardDialog {
    Q_OBJECT

public:
    explicit TPasswordForm(app::TMainForm& mainForm);

    QLabel* Label1 = nullptr;
    QLineEdit* EdPassword = nullptr;
    QPushButton* BnOk = nullptr;

    void FormShow() override;
    void BnOkClick();

    // Called by Save before the scale query is sent: only a reading decoded after this
    // may be written.
    void AwaitScaleReading();

private:
    bool ScaleReadingFresh() const;
    bool WriteReachedLink() const;
    void WriteScale();
    // A scale query that ended without a reading ends the wait: the poll cycle has told
    // the operator, and nothing can be written.
    void OnScaleQueryEnded(bool decoded);

    std::optional<int> FScaleRepliesAtSave;
    std::string FPortTextAtSave;
};

} // namespace dialogs
