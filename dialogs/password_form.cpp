// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/password_form.h"

#include "app/main_form.h"
#include "dialogs/dialog_look.h"
#include "dialogs/scale_form2.h"
#include "dialogs/wizard_flow.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

namespace dialogs {

namespace {

constexpr QSize kClientSize{189, 106};

} // namespace

TPasswordForm::TPasswordForm(app::TMainForm& mainForm, TWizardFlow& flow)
    : TWizardDialog(mainForm, flow, "PasswordForm", kClientSize) {
    Label1 = MakeLabel(this, "Label1", "Password:", {12, 24});
    EdPassword = MakeEdit(this, "EdPassword", "", {92, 20, 84, 26});
    EdPassword->setEchoMode(QLineEdit::Password);
    NameByCaption(*Label1, *EdPassword, "Password");
    // One "*" per character typed, whatever the style's own mask character.
    EdPassword->setStyleSheet("lineedit-password-character: 42");
    BnOk = MakeButton(this, "BnOk", "OK", {57, 66});
    BnOk->setDefault(true);
    OnClick(BnOk, FMainForm, [this] { BnOkClick(); });
    // Its outcomes open boxes and the next dialogs: they follow the tick that ended the
    // query, never run inside it.
    connect(&FMainForm.Session(), &session::TCutterSession::ScaleQueryEnded, this,
            &TPasswordForm::OnScaleQueryEnded, Qt::QueuedConnection);
}

void TPasswordForm::FormShow() {
    EdPassword->clear();
}

void TPasswordForm::AwaitScaleReading() {
    FStep = ssAwaitingReading;
    FScaleRepliesAtSave = FMainForm.Session().ScaleRepliesDecoded();
    FPortTextAtSave = FMainForm.PortText();
    BnOk->setEnabled(true);
}

void TPasswordForm::BnOkClick() {
    if (EdPassword->text() != kPassword) {
        FMainForm.Prompts().ShowMessage(kInvalidPasswordText);
        return;
    }
    if (FStep != ssAwaitingReading || !ScaleReadingFresh()) {
        FMainForm.Prompts().ShowMessage(kAwaitingScaleText);
        return;
    }
    if (FMainForm.PortText() != FPortTextAtSave) {
        done(QDialog::Rejected);
        FMainForm.Prompts().ShowMessage(kPortChangedText);
        return;
    }
    if (!FFlow.ScaleForm2()->MeasurementInEffect()) {
        done(QDialog::Rejected);
        FMainForm.Prompts().ShowMessage(kMeasurementNotCutText);
        return;
    }
    // A reading that gives no scale to write (0, or a product past the range) ends the
    // save here, before the link is used again.
    try {
        FMainForm.Session().ScaleToWrite();
    } catch (const std::exception& error) {
        Refuse(error);
        return;
    }
    Confirm();
}

// A byte lost on the line can turn 1000 into 100 and still look like a reading; the same
// corruption twice in a row is not to be expected, so the scale is read once more.
void TPasswordForm::Confirm() {
    FFirstReading = FMainForm.Session().LastScaleReply();
    FStep = ssConfirming;
    BnOk->setEnabled(false);
    FMainForm.Session().SendScaleQuery();
}

void TPasswordForm::WriteIfConfirmed() {
    const std::string secondReading = FMainForm.Session().LastScaleReply();
    if (secondReading != FFirstReading) {
        Finish(QDialog::Rejected, QString::fromUtf8(kReadingsDifferText)
                                      .arg(QString::fromLatin1(FFirstReading).trimmed(),
                                           QString::fromLatin1(secondReading).trimmed())
                                      .toStdString());
        return;
    }
    WriteScale();
}

// A sender that stopped (USB cutter attached on a COM port, USB device not found, no link)
// leaves the link closed: the write never reached the cutter.
void TPasswordForm::WriteScale() {
    try {
        FMainForm.Session().SendWriteScale();
    } catch (const std::exception& error) {
        Refuse(error);
        return;
    }
    if (!FMainForm.Session().LinkOpen()) {
        FStep = ssAwaitingReading;
        BnOk->setEnabled(true);
        FMainForm.Prompts().ShowMessage(kWriteNotSentText);
        return;
    }
    FStep = ssReadingBack;
    FMainForm.Session().SendScaleReadBack();
}

// Saved only when the cutter reports the values written.
void TPasswordForm::CheckReadBack(bool decoded) {
    const auto& settings = FMainForm.Session().Settings();
    const session::TScaleValues written = FMainForm.Session().NewScale();
    if (!decoded) {
        Finish(QDialog::Rejected, QString::fromUtf8(kReadBackMissingText)
                                      .arg(QString::fromStdString(WrittenScale()))
                                      .toStdString());
        return;
    }
    if (settings.ScaleX != written.X || settings.ScaleY != written.Y) {
        const std::string reported =
            std::to_string(settings.ScaleX) + ", " + std::to_string(settings.ScaleY);
        Finish(QDialog::Rejected,
               QString::fromUtf8(kReadBackDiffersText)
                   .arg(QString::fromStdString(WrittenScale()), QString::fromStdString(reported))
                   .toStdString());
        return;
    }
    Finish(QDialog::Accepted, kSaveCompleteText);
}

std::string TPasswordForm::WrittenScale() const {
    const session::TScaleValues written = FMainForm.Session().NewScale();
    return std::to_string(written.X) + ", " + std::to_string(written.Y);
}

// A reading is written once; another write needs another Save. The outcome also goes to
// the log, where it stays once the box is closed.
void TPasswordForm::Finish(int result, const std::string& message) {
    FStep = ssIdle;
    FScaleRepliesAtSave.reset();
    BnOk->setEnabled(true);
    done(result);
    FMainForm.AddLog(message);
    FMainForm.Prompts().ShowMessage(message);
}

void TPasswordForm::Refuse(const std::exception& why) {
    Finish(QDialog::Rejected,
           QString::fromUtf8(kScaleRefusedText).arg(QString::fromUtf8(why.what())).toStdString());
}

bool TPasswordForm::ScaleReadingFresh() const {
    return FScaleRepliesAtSave && FMainForm.Session().ScaleRepliesDecoded() > *FScaleRepliesAtSave;
}

void TPasswordForm::OnScaleQueryEnded(bool decoded) {
    switch (FStep) {
    case ssAwaitingReading:
        if (!decoded && isVisible() && !ScaleReadingFresh()) {
            FStep = ssIdle;
            done(QDialog::Rejected);
        }
        return;
    case ssConfirming:
        // Closed meanwhile, or no second reading (the poll cycle said why): no write.
        if (!decoded || !isVisible()) {
            FStep = ssIdle;
            FScaleRepliesAtSave.reset();
            BnOk->setEnabled(true);
            done(QDialog::Rejected);
            return;
        }
        WriteIfConfirmed();
        return;
    case ssReadingBack:
        CheckReadBack(decoded);
        return;
    case ssIdle:
        return;
    }
}

} // namespace dialogs
