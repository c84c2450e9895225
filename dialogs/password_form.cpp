#include "dialogs/password_form.h"

#include "app/main_form.h"
#include "dialogs/dialog_look.h"
#include "dialogs/forms.h"
#include "dialogs/scale_form2.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace dialogs {

namespace {

constexpr QSize kClientSize{189, 106};

} // namespace

TPasswordForm::TPasswordForm(app::TMainForm& mainForm)
    : TWizardDialog(mainForm, "PasswordForm", kClientSize) {
    Label1 = MakeLabel(this, "Label1", "Password:", {12, 24});
    EdPassword = MakeEdit(this, "EdPassword", "", {92, 20, 84, 26});
    EdPassword->setEchoMode(QLineEdit::Password);
    // One "*" per character typed, whatever the style's own mask character.
    EdPassword->setStyleSheet("lineedit-password-character: 42");
    BnOk = MakeButton(this, "BnOk", "OK", {57, 66});
    BnOk->setDefault(true);
    OnClick(BnOk, FMainForm, [this] { BnOkClick(); });
    connect(&FMainForm, &app::TMainForm::ScaleQueryEnded, this, &TPasswordForm::OnScaleQueryEnded);
}

void TPasswordForm::FormShow() {
    EdPassword->clear();
}

void TPasswordForm::AwaitScaleReading() {
    FScaleRepliesAtSave = FMainForm.ScaleRepliesDecoded();
    FPortTextAtSave = FMainForm.PortText();
}

void TPasswordForm::BnOkClick() {
    if (EdPassword->text() != kPassword) {
        FMainForm.Prompts().ShowMessage(kInvalidPasswordText);
        return;
    }
    if (!ScaleReadingFresh()) {
        FMainForm.Prompts().ShowMessage(kAwaitingScaleText);
        return;
    }
    if (FMainForm.PortText() != FPortTextAtSave) {
        done(QDialog::Rejected);
        FMainForm.Prompts().ShowMessage(kPortChangedText);
        return;
    }
    if (!ScaleForm2->MeasurementInEffect()) {
        done(QDialog::Rejected);
        FMainForm.Prompts().ShowMessage(kMeasurementNotCutText);
        return;
    }
    WriteScale();
}

void TPasswordForm::WriteScale() {
    FMainForm.SendWriteScale();
    if (!WriteReachedLink()) {
        FMainForm.Prompts().ShowMessage(kWriteNotSentText);
        return;
    }
    // A reading is written once; another write needs another Save.
    FScaleRepliesAtSave.reset();
    done(QDialog::Accepted);
    FMainForm.Prompts().ShowMessage(kSaveCompleteText);
}

bool TPasswordForm::ScaleReadingFresh() const {
    return FScaleRepliesAtSave && FMainForm.ScaleRepliesDecoded() > *FScaleRepliesAtSave;
}

// The senders leave the link open after a command without a reply; a sender that stopped
// (USB cutter attached on a COM port, USB device not found, no link) leaves it closed.
bool TPasswordForm::WriteReachedLink() const {
    switch (FMainForm.LinkKind()) {
    case app::lkSerial:
        return FMainForm.Comm1.Enabled();
    case app::lkUsb:
        return FMainForm.FUsbHandle != 0 && FMainForm.FUsbHandle != -1;
    case app::lkNone:
        return false;
    }
    return false;
}

void TPasswordForm::OnScaleQueryEnded(bool decoded) {
    if (!decoded && isVisible() && !ScaleReadingFresh()) {
        done(QDialog::Rejected);
    }
}

} // namespace dialogs
