// SPDX-License-Identifier: GPL-3.0-or-later
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

// Whether the command is a query that starts its exchange from a clean slate.
enum TInputBefore : bool { ibKeep = false, ibDiscard = true };

constexpr const char* kQueryWaitsText =
    "Waiting for the cutter's answer to the previous query before sending the next one";
constexpr const char* kAlreadyWaitingText = " is already waiting for the cutter's answer";

// What the operator asked for, as the log names it.
const char* QueryName(protocol::TCommandCode code) {
    switch (code) {
    case protocol::ccPollSize:
        return "Poll Size";
    case protocol::ccSettingsQuery:
        return "Loop Detect";
    case protocol::ccFirmwareQuery:
        return "The firmware query";
    default:
        return "The scale query";
    }
}

// Makes the link the port list names ready and sends `code` on it. A link that cannot be
// made ready stops the sequence; a flag set by the caller stays set, so the poll cycle
// reports the silent cutter. A command that cannot be built closes the link it opened.
// The ticks resume first, whatever happens after.
TSendOutcome SendOnChosenLink(TMainForm& form, protocol::TCommandCode code, TUsbGuard guard,
                              TInputBefore input = ibKeep) {
    form.ResumeTicks();
    switch (form.LinkKind()) {
    case lkSerial:
        if (guard == ugRefuseWhenUsbAttached && form.UsbDevicePresent()) {
            form.Prompts().MessageBox(kUsbCablePluggedText);
            return soRefusedWithBox;
        }
        form.ComPortOpen();
        break;
    case lkUsb:
        if (!form.UsbPortProbe()) {
            form.LogUsbDeviceNotFound();
            return soLinkNotReady;
        }
        form.UsbPortOpen();
        break;
    case lkNone:
        return soLinkNotReady;
    }
    if (input == ibDiscard) {
        form.DiscardLinkInput();
    }
    try {
        form.SendCommand(code);
    } catch (...) {
        if (form.LinkKind() == lkSerial) {
            form.ComPortClose();
        } else {
            form.UsbPortClose();
        }
        throw;
    }
    return form.LinkOpen() ? soWritten : soLinkNotReady;
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

void TMainForm::RequestQuery(protocol::TCommandCode code) {
    DropCancelledQueries();
    // The same button pressed again while its query is under way gets the reply awaited.
    const bool underWay = Awaits(code) || QueryDeferred(code);
    MarkQueryRequested(code);
    ResumeTicks();
    if (underWay) {
        AddLog(QueryName(code) + std::string(kAlreadyWaitingText));
        return;
    }
    if (ReplyAwaitedOtherThan(code)) {
        FExchange.FDeferredQueries.push_back(code);
        AddLog(kQueryWaitsText);
        return;
    }
    StartQuery(code);
}

// A query that is sent starts its own exchange: its silence and its reply's ticks count
// from here, whatever an earlier query (or the monitor) left in the shared counters, and
// input that arrived before it is dropped.
void TMainForm::StartQuery(protocol::TCommandCode code) {
    ArmQuery(code);
    SendOnChosenLink(*this, code, ugNone, ibDiscard);
}

void TMainForm::SendNextDeferred() {
    while (!ReplyAwaited() && !FExchange.FDeferredQueries.empty()) {
        const protocol::TCommandCode code = FExchange.FDeferredQueries.front();
        FExchange.FDeferredQueries.pop_front();
        // A query cancelled while it waited (DisDetect, a change of port) is not sent.
        if (QueryRequested(code)) {
            StartQuery(code);
        }
    }
}

void TMainForm::BnPollSizeClick() {
    RequestQuery(protocol::ccPollSize);
}

void TMainForm::BnLoopDetectClick() {
    DropCancelledQueries();
    FExchange.FLoopDetect = 1;
    FExchange.FAwaitingFirstReply = 1;
    const QWidget* focused = focusWidget();
    BnPollSize->setEnabled(false);
    BnLoopDetect->setEnabled(false);
    BnScaling->setEnabled(false);
    BnDisDetect->setEnabled(true);
    BnAbout->setEnabled(false);
    HandFocusOn(focused, BnDisDetect);
    RequestQuery(protocol::ccSettingsQuery);
}

// Also run by the poll cycle when loop detection gives up, exactly as a click. Another
// query's exchange under way keeps its link, its reply and its silence count.
void TMainForm::BnDisDetectClick() {
    const bool otherExchange = ReplyAwaited() && !Awaits(protocol::ccSettingsQuery);
    FExchange.FLoopDetect = 0;
    FExchange.FMonitorAwaitingReply = 0;
    std::erase(FExchange.FDeferredQueries, protocol::ccSettingsQuery);
    const QWidget* focused = focusWidget();
    BnPollSize->setEnabled(true);
    BnLoopDetect->setEnabled(true);
    BnScaling->setEnabled(true);
    BnDisDetect->setEnabled(false);
    BnAbout->setEnabled(true);
    HandFocusOn(focused, BnLoopDetect);
    if (otherExchange) {
        return;
    }
    FExchange.FSilenceTicks = 0;
    ComPortClose();
    UsbPortClose();
    FExchange.FReplyText.clear();
    SendNextDeferred();
}

TSendOutcome TMainForm::SendTestDraw() {
    return SendOnChosenLink(*this, protocol::ccTestDraw, ugRefuseWhenUsbAttached);
}

TSendOutcome TMainForm::SendCorrectedTestDraw() {
    return SendOnChosenLink(*this, protocol::ccCorrectedTestDraw, ugRefuseWhenUsbAttached);
}

TSendOutcome TMainForm::SendWriteScale() {
    return SendOnChosenLink(*this, protocol::ccWriteScale, ugRefuseWhenUsbAttached);
}

void TMainForm::SendScaleQuery() {
    RequestQuery(protocol::ccScaleQuery);
}

void TMainForm::SendScaleReadBack() {
    FExchange.FScaleReadBack = 1;
    RequestQuery(protocol::ccScaleQuery);
}

void TMainForm::SendFirmwareQuery() {
    RequestQuery(protocol::ccFirmwareQuery);
}

} // namespace app
