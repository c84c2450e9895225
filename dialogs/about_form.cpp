// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/about_form.h"

#include "dialogs/dialog_look.h"
#include "dialogs/wizard_flow.h"
#include "session/cutter_session.h"
#include "toolkit/screen_reader_tree.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

namespace dialogs {

namespace {

constexpr QSize kClientSize{289, 223};
constexpr QPoint kDesignPosition{285, 300};
constexpr QRect kCopyRightBounds{30, 20, 235, 95};

// Title and version, then the notice: the years of the rights (the line ends in one
// blank), the holder, and the reservation of all rights.
QString CopyRightText() {
    return QString("%1 Version %2\n").arg(kProgramTitle, kProgramVersion) +
           "Copyright (C) 2026 \n"
           "Tessaro contributors.\n"
           "All rights reserved.";
}

// The frame's captions are right-aligned in equal boxes so their colons line up.
QLabel* MakeRowCaption(QWidget* parent, const char* name, const char* text, int top) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(8, top, 80, 22);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QLabel* MakeRowValue(QWidget* parent, const char* name, int top) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(92, top, 135, 22);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

// Reply bytes are kept as received; each byte is one character.
QString FromReplyBytes(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

TAboutForm::TAboutForm(TWizardFlow& flow) : QDialog(&flow.Window()), FFlow(flow) {
    setObjectName("AboutForm");
    ApplyDialogFrame(*this, "About", kClientSize);
    FFlow.MoveToDesignPosition(*this, kDesignPosition);
    BuildControls();
    connect(&FFlow.Session(), &session::TCutterSession::SettingsChanged, this,
            &TAboutForm::ShowFirmware);
    OnClick(BnOk, FFlow, [this] { BnOkClick(); });
}

void TAboutForm::BuildControls() {
    GroupBox1 = new toolkit::TRowFrame("Firmware", this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setFont(FixedCellFont(FFlow));
    GroupBox1->setGeometry(30, 116, 235, 74);
    // Below the frame's caption.
    Label2 = MakeRowCaption(GroupBox1, "Label2", "Model :", 27);
    Label3 = MakeRowCaption(GroupBox1, "Label3", "Version :", 49);
    LaModel = MakeRowValue(GroupBox1, "LaModel", 27);
    LaVersion = MakeRowValue(GroupBox1, "LaVersion", 49);
    // Each row reads once, as its value named without the colon, as the main window's do.
    LaModel->setAccessibleName("Model");
    LaVersion->setAccessibleName("Version");
    toolkit::KeepFromScreenReaders(*Label2);
    toolkit::KeepFromScreenReaders(*Label3);

    BnOk = MakeButton(this, "BnOk", "OK", {107, 193});
    BnOk->setFont(FixedCellFont(FFlow));
    BnOk->setDefault(true);

    LaCopyRight = new QLabel(this);
    LaCopyRight->setObjectName("LaCopyRight");
    LaCopyRight->setFont(FixedCellFont(FFlow));
}

void TAboutForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window shown again by the window system (restored) is not a new showing.
    if (!event->spontaneous()) {
        RunGuarded(FFlow, [this] { FormShow(); });
    }
}

void TAboutForm::keyPressEvent(QKeyEvent* event) {
    if (IgnoresEscape(*event)) {
        return;
    }
    QDialog::keyPressEvent(event);
}

void TAboutForm::FormShow() {
    SetFixedBoundsText(*LaCopyRight, kCopyRightBounds, CopyRightText());
    FFlow.Session().SendFirmwareQuery();
}

void TAboutForm::BnOkClick() {
    done(QDialog::Accepted);
}

void TAboutForm::ShowFirmware() {
    LaModel->setText(FromReplyBytes(FFlow.Session().Settings().FirmwareModel));
    LaVersion->setText(FromReplyBytes(FFlow.Session().Settings().FirmwareVersion));
}

} // namespace dialogs
