// SPDX-License-Identifier: GPL-3.0-or-later
// The one outgoing path to the cutter: the query queue and the senders, building a
// command and writing it on the link the port name names. Each sender arms the poll cycle for the
// reply it expects, makes the link ready and hands one command to SendCommand; waiting, time-outs
// and closing the link belong to the poll cycle.

#include "session/cutter_session.h"

#include "protocol/commands.h"
#include "protocol/queries.h"

#include <algorithm>

namespace session {

namespace {

constexpr const char* kSentPrefix = "發送命令:";

constexpr const char* kQueryWaitsText =
    "Waiting for the cutter's answer to the previous query before sending the next one";
constexpr const char* kAlreadyWaitingText = " is already waiting for the cutter's answer";

// Why a command of `count` bytes did not leave: the port took `taken` of them (the USB
// library says less than 0 for none, without a count).
std::string NotSentCause(const std::string& portName, std::int64_t taken, std::size_t count) {
    const std::string bytes = "the command's " + std::to_string(count) + " bytes";
    if (taken < 0) {
        return portName + " refused " + bytes;
    }
    return portName + " took " + std::to_string(taken) + " of " + bytes;
}

} // namespace

// Makes the link the port name names ready and sends `code` on it. A link that cannot be
// made ready stops the sequence; a flag set by the caller stays set, so the poll cycle
// reports the silent cutter. A command that cannot be built closes the link it opened.
// The ticks resume first, whatever happens after. Commands that cut or write must never
// go to a port the attached USB cutter does not listen on.
TOutcome TCutterSession::SendOnChosenLink(protocol::TCommandCode code, TUsbGuard guard,
                                          TInputBefore input, const TCutSize& size) {
    ResumeTicks();
    const TOutcome usbBlocked{okUsbBlocked, kUsbCablePluggedText};
    TLink* const link = FChosenLink;
    if (link == nullptr) {
        return {okLinkNotReady, SilenceMessageText()};
    }
    if (guard == ugRefuseWhenUsbAttached && link->HeldByUsbCutter()) {
        return usbBlocked;
    }
    if (!link->Probe()) {
        DeviceNotFound(FPortName, link->LastError());
        return {okLinkNotReady, SilenceMessageText()};
    }
    link->Open();
    if (input == ibDiscard) {
        DiscardLinkInput();
    }
    try {
        SendCommand(code, size);
    } catch (...) {
        link->Close();
        throw;
    }
    if (!FSendFailure.empty()) {
        return {okNotSent, FSendFailure};
    }
    if (!LinkOpen()) {
        return {okLinkNotReady, SilenceMessageText()};
    }
    // A USB cutter attached since the guard asked: the open serial link carried nothing,
    // and a cut or write that never left must not look sent.
    if (guard == ugRefuseWhenUsbAttached && !FLastWrite.Carried) {
        return usbBlocked;
    }
    return {};
}

TOutcome TCutterSession::ReportGuard(TOutcome outcome) {
    if (outcome.Kind == okUsbBlocked) {
        emit Failed(outcome);
    }
    return outcome;
}

void TCutterSession::RequestQuery(protocol::TCommandCode code) {
    DropCancelledQueries();
    // The same button pressed again while its query is under way gets the reply awaited.
    const bool underWay = Awaits(code) || QueryDeferred(code);
    MarkQueryRequested(code);
    ResumeTicks();
    if (underWay) {
        Log(protocol::QueryOf(code).Name + std::string(kAlreadyWaitingText));
        return;
    }
    if (ReplyAwaitedOtherThan(code)) {
        FExchange.FDeferredQueries.push_back(code);
        Log(kQueryWaitsText);
        return;
    }
    StartQuery(code);
}

// A query that is sent starts its own exchange: its silence and its reply's ticks count
// from here, whatever an earlier query (or the monitor) left in the shared counters, and
// input that arrived before it is dropped.
// Under the shell's rule a query that could not go out is reported at once: no silence
// would end it, and the USB guard refuses it as it refuses a cut.
void TCutterSession::StartQuery(protocol::TCommandCode code) {
    ArmQuery(code);
    const bool shell = FReplyMode == rmShell;
    const TOutcome outcome =
        SendOnChosenLink(code, shell ? ugRefuseWhenUsbAttached : ugNone, ibDiscard);
    if (!shell || (outcome.Done() && !FLastWrite.DeviceGone)) {
        return;
    }
    if (outcome.Done()) {
        LosePort({okPortLost, kPortGoneText});
    } else if (outcome.Kind == okUsbBlocked) {
        LosePort(outcome);
    } else {
        LosePort({okPortLost, SilenceMessageText()});
    }
}

void TCutterSession::SendNextDeferred() {
    while (!ReplyAwaited() && !FExchange.FDeferredQueries.empty()) {
        const protocol::TCommandCode code = FExchange.FDeferredQueries.front();
        FExchange.FDeferredQueries.pop_front();
        // A query cancelled while it waited (StopMonitor, a change of port) is not sent.
        if (QueryRequested(code)) {
            StartQuery(code);
        }
    }
}

void TCutterSession::PollSize() {
    RequestQuery(protocol::ccPollSize);
}

void TCutterSession::StartMonitor() {
    DropCancelledQueries();
    FExchange.FLoopDetect = 1;
    FExchange.FAwaitingFirstReply = 1;
    RequestQuery(protocol::ccSettingsQuery);
    emit MonitorStarted();
}

void TCutterSession::StopMonitor() {
    const bool otherExchange = ReplyAwaited() && !Awaits(protocol::ccSettingsQuery);
    FExchange.FLoopDetect = 0;
    FExchange.FMonitorAwaitingReply = 0;
    std::erase(FExchange.FDeferredQueries, protocol::ccSettingsQuery);
    if (otherExchange) {
        return;
    }
    FExchange.FSilenceTicks = 0;
    CloseLinks();
    FExchange.FReplyText.clear();
    SendNextDeferred();
}

TOutcome TCutterSession::SendTestDraw(const TCutSize& testSize) {
    return ReportGuard(
        SendOnChosenLink(protocol::ccTestDraw, ugRefuseWhenUsbAttached, ibKeep, testSize));
}

TOutcome TCutterSession::SendCorrectedTestDraw(const TCutSize& measuredSize) {
    return ReportGuard(SendOnChosenLink(protocol::ccCorrectedTestDraw, ugRefuseWhenUsbAttached,
                                        ibKeep, measuredSize));
}

TOutcome TCutterSession::SendWriteScale() {
    return ReportGuard(SendOnChosenLink(protocol::ccWriteScale, ugRefuseWhenUsbAttached));
}

// The values the save decided replace those of the wizard's arithmetic for this write
// alone, whatever it meets.
TOutcome TCutterSession::WriteScale(const TScaleValues& values) {
    FScaleOverride = values;
    try {
        TOutcome sent = SendWriteScale();
        FScaleOverride.reset();
        return sent;
    } catch (...) {
        FScaleOverride.reset();
        throw;
    }
}

void TCutterSession::SendScaleQuery() {
    RequestQuery(protocol::ccScaleQuery);
}

void TCutterSession::SendScaleReadBack() {
    FExchange.FScaleReadBack = 1;
    RequestQuery(protocol::ccScaleQuery);
}

void TCutterSession::SendFirmwareQuery() {
    RequestQuery(protocol::ccFirmwareQuery);
}

// A build that fails leaves FCommandText empty and sends nothing.
void TCutterSession::SendCommand(protocol::TCommandCode code, const TCutSize& size) {
    FSendFailure.clear();
    FExchange.FCommandText.clear();
    FExchange.FCommandText = BuildCommandText(code, size);
    try {
        WriteCommandText();
    } catch (...) {
        FExchange.FCommandText.clear();
        throw;
    }
    FExchange.FCommandText.clear();
}

// The sizes and scale values a command carries are kept only once the whole command has
// been built, so a refused size leaves the earlier ones in place.
std::string TCutterSession::BuildCommandText(protocol::TCommandCode code, const TCutSize& size) {
    switch (code) {
    case protocol::ccTestDraw: {
        const double width = protocol::LengthUnitsFromText(size.X, "X");
        const double height = protocol::LengthUnitsFromText(size.Y, "Y");
        FExchange.FTestDrawX = width;
        FExchange.FTestDrawY = height;
        return protocol::TestDrawText(FExchange.FTestDrawX, FExchange.FTestDrawY);
    }
    case protocol::ccCorrectedTestDraw: {
        const double measuredX = protocol::LengthUnitsFromText(size.X, "Length X");
        const double measuredY = protocol::LengthUnitsFromText(size.Y, "Width Y");
        const std::int32_t width = protocol::CorrectedLength(FExchange.FTestDrawX, measuredX);
        const std::int32_t height = protocol::CorrectedLength(FExchange.FTestDrawY, measuredY);
        FExchange.FMeasuredX = measuredX;
        FExchange.FMeasuredY = measuredY;
        return protocol::TestDrawText(width, height);
    }
    case protocol::ccWriteScale: {
        const TScaleValues scale = ScaleToWrite();
        FExchange.FNewScaleX = scale.X;
        FExchange.FNewScaleY = scale.Y;
        return protocol::WriteScaleText(FExchange.FNewScaleX, FExchange.FNewScaleY);
    }
    default:
        return protocol::QueryCommandText(code);
    }
}

// A serial link with a USB cutter attached carries nothing: the cutter is not listening
// there. A command the link took only in part is not sent: the log says so, and why,
// instead of showing it as sent.
void TCutterSession::WriteCommandText() {
    FLastWrite = {};
    if (FChosenLink == nullptr) {
        return;
    }
    const TWritten written = FChosenLink->Write(FExchange.FCommandText);
    FLastWrite = written;
    if (!written.Carried) {
        return;
    }
    const std::size_t count = FExchange.FCommandText.size();
    if (written.Taken != static_cast<std::int64_t>(count)) {
        FSendFailure = NotSentCause(FPortName, written.Taken, count);
        Log("Not sent: " + FSendFailure);
        return;
    }
    Log(kSentPrefix + Latin1ToUtf8(FExchange.FCommandText));
}

TPlotterSize TCutterSession::TestDrawSize() const {
    return {FExchange.FTestDrawX, FExchange.FTestDrawY};
}

TPlotterSize TCutterSession::MeasuredSize() const {
    return {FExchange.FMeasuredX, FExchange.FMeasuredY};
}

TScaleValues TCutterSession::NewScale() const {
    return {FExchange.FNewScaleX, FExchange.FNewScaleY};
}

TScaleValues TCutterSession::ScaleToWrite() const {
    if (FScaleOverride) {
        return *FScaleOverride;
    }
    return {protocol::NewScaleValue(FSettings.ScaleX, FExchange.FMeasuredX, FExchange.FTestDrawX),
            protocol::NewScaleValue(FSettings.ScaleY, FExchange.FMeasuredY, FExchange.FTestDrawY)};
}

bool TCutterSession::LinkOpen() const {
    return FChosenLink != nullptr && FChosenLink->IsOpen();
}

} // namespace session
