// The panel's buttons and the senders the dialogs call. Each arms the poll cycle for the
// reply it expects, makes the chosen link ready and hands one command to SendCommand;
// waiting, time-outs and closing the link belong to the poll cycle.

#include "app/main_form.h"

#include <QPushButton>

namespace app {

namespace {

// Whether a sender refuses the serial link while a USB cutter is attached: commands that
// cut or write must never go to a port the attached cutter does not listen on.
enum TUsbGuard : bool { ugNone = false, ugRefuseWhenUsbAttached = true };

// Makes the link the port list names ready and sends `code` on it. A link that cannot be
// made ready stops the sequence; a flag set by the caller stays set, so the poll cycle
// reports the silent cutter. The ticks resume first, whatever happens after.
void SendOnChosenLink(TMainForm& form, protocol::TCommandCode code, TUsbGuard guard) {
    form.ResumeTicks();
    switch (form.LinkKind()) {
    case lkSerial:
        if (guard == ugRefuseWhenUsbAttached && form.UsbDevicePresent()) {
            form.Prompts().MessageBox(kUsbCablePluggedText);
            return;
        }
        form.ComPortOpen();
        break;
    case lkUsb:
        if (!form.UsbPortProbe()) {
            form.AddLog(kDeviceNotFoundText);
            return;
        }
        form.UsbPortOpen();
        break;
    case lkNone:
        return;
    }
    form.SendCommand(code);
}

// Disabling the focused button passes the focus along the chain into the port list's
// text, whose caret would then blink (a repaint twice a second) for as long as the window
// stays active. The button the operator needs next takes it instead; focus the operator
// put in the port list stays there.
void HandFocusOn(const QWidget* focusedBefore, QPushButton* next) {
    if (focusedBefore != nullptr && !focusedBefore->isEnabled()) {
        next->setFocus();
    }
}

} // namespace

// Each query counts its reply's ticks from the start. A count left by a query that was
// abandoned mid-reply (a change of port, a second query sharing the reply text) would
// otherwise complete the new one early, with part of its reply: a wrong size on the
// panel, or a wrong scale handed to the wizard that writes the cutter's flash.

void TMainForm::BnPollSizeClick() {
    FPollSizeRequest = 1;
    FPollSizeSettleTicks = 0;
    SendOnChosenLink(*this, protocol::ccPollSize, ugNone);
}

void TMainForm::BnLoopDetectClick() {
    FLoopDetect = 1;
    FAwaitingFirstReply = 1;
    FSettingsSettleTicks = 0;
    const QWidget* focused = focusWidget();
    BnPollSize->setEnabled(false);
    BnLoopDetect->setEnabled(false);
    BnScaling->setEnabled(false);
    BnDisDetect->setEnabled(true);
    BnAbout->setEnabled(false);
    HandFocusOn(focused, BnDisDetect);
    SendOnChosenLink(*this, protocol::ccSettingsQuery, ugNone);
}

// Also run by the poll cycle when loop detection gives up, exactly as a click.
void TMainForm::BnDisDetectClick() {
    FLoopDetect = 0;
    FSilenceTicks = 0;
    const QWidget* focused = focusWidget();
    BnPollSize->setEnabled(true);
    BnLoopDetect->setEnabled(true);
    BnScaling->setEnabled(true);
    BnDisDetect->setEnabled(false);
    BnAbout->setEnabled(true);
    HandFocusOn(focused, BnLoopDetect);
    ComPortClose();
    UsbPortClose();
    FReplyText.clear();
}

void TMainForm::SendTestDraw() {
    SendOnChosenLink(*this, protocol::ccTestDraw, ugRefuseWhenUsbAttached);
}

void TMainForm::SendCorrectedTestDraw() {
    SendOnChosenLink(*this, protocol::ccCorrectedTestDraw, ugRefuseWhenUsbAttached);
}

void TMainForm::SendWriteScale() {
    SendOnChosenLink(*this, protocol::ccWriteScale, ugRefuseWhenUsbAttached);
}

void TMainForm::SendScaleQuery() {
    FScaleReadRequest = 1;
    FScaleSettleTicks = 0;
    SendOnChosenLink(*this, protocol::ccScaleQuery, ugNone);
}

void TMainForm::SendFirmwareQuery() {
    FFirmwareRequest = 1;
    FFirmwareSettleTicks = 0;
    SendOnChosenLink(*this, protocol::ccFirmwareQuery, ugNone);
}

} // namespace app
