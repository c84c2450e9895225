// SPDX-License-Identifier: GPL-3.0-or-later
// Reply collection and the tick that completes, decodes or gives up each outstanding
// query. Replies carry no end marker: a reply is complete once the reply text has held
// data for 11 ticks. All waiting is counted in ticks; nothing here reads a clock.
// An ending that the operator must be told of is reported by a signal once all of its
// state has changed; the session shows nothing itself.

#include "session/cutter_session.h"

#include "protocol/queries.h"
#include "protocol/reply_decoding.h"
#include "toolkit/conversions.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace session {

namespace {

constexpr std::int32_t kSettleTickLimit = 10;          // the 11th tick with data completes
constexpr std::int32_t kSilenceTickLimit = 10;         // the 11th silent tick gives up
constexpr std::int32_t kMonitorSilenceTickLimit = 150; // after the monitor's first reply
constexpr std::int32_t kResendTickLimit = 100;         // the 101st silent tick resends
// About 2 s: a cutter answers nothing while it writes its flash, which can take a second
// or more after a scale write.
constexpr std::int32_t kReadBackSilenceTickLimit = 125;

constexpr const char* kReceivedPrefix = "接收:";

// Far above any reply of the cutter. A line that floods more than this before the reply
// settles is cut here, so one decode never logs thousands of fields and stalls the session.
constexpr std::size_t kReplyTextLimit = 16384;

void KeepWithinReplyLimit(std::string& replyText) {
    if (replyText.size() > kReplyTextLimit) {
        replyText.resize(kReplyTextLimit);
    }
}

constexpr const char* kIgnoredBytesText = " bytes from the cutter ignored: no answer was awaited";
constexpr const char* kDiscardedBytesText = " bytes left on the line discarded before a query";

} // namespace

// One query of the poll cycle: the flag that arms it and its data counter.
struct TCutterSession::TQueryBlock {
    protocol::TCommandCode Code;
    TFlag TExchangeState::*Flag;
    TTicks TExchangeState::*SettleTicks;
    // Told how the query ended; null when nobody waits for it.
    void (TCutterSession::*Ended)(bool decoded);
    // The signal that reports a reply decoded whole.
    void (TCutterSession::*Reported)();
    // Values that go on into the cutter's flash are taken only from a reply in form.
    bool NeedsWholeReply;
};

const TCutterSession::TQueryBlock TCutterSession::kPollSizeBlock{
    protocol::ccPollSize,
    &TExchangeState::FPollSizeRequest,
    &TExchangeState::FPollSizeSettleTicks,
    nullptr,
    &TCutterSession::SizeReported,
    false};
const TCutterSession::TQueryBlock TCutterSession::kSettingsBlock{
    protocol::ccSettingsQuery,
    &TExchangeState::FLoopDetect,
    &TExchangeState::FSettingsSettleTicks,
    nullptr,
    &TCutterSession::SettingsReported,
    false};
const TCutterSession::TQueryBlock TCutterSession::kFirmwareBlock{
    protocol::ccFirmwareQuery,
    &TExchangeState::FFirmwareRequest,
    &TExchangeState::FFirmwareSettleTicks,
    nullptr,
    &TCutterSession::FirmwareReported,
    false};
const TCutterSession::TQueryBlock TCutterSession::kScaleBlock{protocol::ccScaleQuery,
                                                              &TExchangeState::FScaleReadRequest,
                                                              &TExchangeState::FScaleSettleTicks,
                                                              &TCutterSession::ScaleQueryFinished,
                                                              &TCutterSession::ScaleReported,
                                                              true};

const TCutterSession::TQueryBlock& TCutterSession::BlockOf(protocol::TCommandCode code) {
    for (const TQueryBlock* block : {&kPollSizeBlock, &kSettingsBlock, &kFirmwareBlock}) {
        if (block->Code == code) {
            return *block;
        }
    }
    return kScaleBlock;
}

// Under the shell's rule a serial reply may end as soon as its CR has come.
void TCutterSession::SerialInputArrived(std::uint32_t count) {
    FSerialLink.TakeInput(
        count, [this](const char* bytes, std::size_t size) { TakeReplyBytes(bytes, size); });
    if (FReplyMode == rmShell) {
        EndReplyAtReturn();
    }
}

// Bytes that come while no reply is awaited answer nothing that was asked: a late reply
// to an abandoned query, or noise. They are dropped, never kept for the next query.
void TCutterSession::TakeReplyBytes(const char* bytes, std::size_t count) {
    if (count == 0) {
        return;
    }
    if (!ReplyAwaited()) {
        Log(std::to_string(count) + kIgnoredBytesText);
        return;
    }
    FExchange.FReplyText.append(bytes, count);
    KeepWithinReplyLimit(FExchange.FReplyText);
}

void TCutterSession::DiscardLinkInput() {
    FExchange.FReplyText.clear();
    if (FChosenLink == nullptr) {
        return;
    }
    const std::size_t discarded = FChosenLink->DiscardInput();
    if (discarded > 0) {
        Log(std::to_string(discarded) + kDiscardedBytesText);
    }
}

void TCutterSession::Timer1Timer() {
    if (!QueryOutstanding()) {
        ParkTicks();
        return;
    }
    // Each block runs only when its flag is set as it is reached: a later block sees what
    // an earlier one changed in the same tick.
    // A query waiting its turn counts nothing, nor does one sent during this tick by the
    // ending of another: its first tick is the next one. The monitor pauses while another
    // query's reply is awaited.
    const bool pollSize = Awaits(protocol::ccPollSize);
    const bool monitor = MonitorMayRun();
    const bool firmware = Awaits(protocol::ccFirmwareQuery);
    const bool scale = Awaits(protocol::ccScaleQuery);
    if (pollSize && Awaits(protocol::ccPollSize)) {
        RunQueryBlock(kPollSizeBlock);
    }
    if (monitor && MonitorMayRun()) {
        RunSettingsMonitor();
    }
    if (firmware && Awaits(protocol::ccFirmwareQuery)) {
        RunQueryBlock(kFirmwareBlock);
    }
    if (scale && Awaits(protocol::ccScaleQuery)) {
        RunQueryBlock(kScaleBlock);
    }
}

bool TCutterSession::MonitorMayRun() const {
    return FExchange.FLoopDetect != 0 && !QueryDeferred(protocol::ccSettingsQuery) &&
           !ReplyAwaitedOtherThan(protocol::ccSettingsQuery);
}

// A query cancelled while it waited (a change of port clears every flag) waits no more.
bool TCutterSession::QueryDeferred(protocol::TCommandCode code) const {
    return QueryRequested(code) &&
           std::find(FExchange.FDeferredQueries.begin(), FExchange.FDeferredQueries.end(), code) !=
               FExchange.FDeferredQueries.end();
}

void TCutterSession::DropCancelledQueries() {
    std::erase_if(FExchange.FDeferredQueries,
                  [this](protocol::TCommandCode code) { return !QueryRequested(code); });
    if (FExchange.FLoopDetect == 0) {
        FExchange.FMonitorAwaitingReply = 0;
    }
}

// The monitor awaits a reply only from its sending to its decoding; in between it merely
// counts toward its next sending.
bool TCutterSession::Awaits(protocol::TCommandCode code) const {
    const bool armed = code == protocol::ccSettingsQuery
                           ? FExchange.FLoopDetect != 0 && FExchange.FMonitorAwaitingReply != 0
                           : QueryRequested(code);
    return armed && !QueryDeferred(code);
}

bool TCutterSession::QueryRequested(protocol::TCommandCode code) const {
    return FExchange.*BlockOf(code).Flag != 0;
}

void TCutterSession::MarkQueryRequested(protocol::TCommandCode code) {
    FExchange.*BlockOf(code).Flag = 1;
}

void TCutterSession::ArmQuery(protocol::TCommandCode code) {
    FExchange.FSilenceTicks = 0;
    FExchange.*BlockOf(code).SettleTicks = 0;
    if (code == protocol::ccSettingsQuery) {
        FExchange.FMonitorAwaitingReply = 1;
    }
}

bool TCutterSession::ReplyAwaited() const {
    return std::ranges::any_of(
        protocol::Queries(), [this](const protocol::TQuery& query) { return Awaits(query.Code); });
}

bool TCutterSession::ReplyAwaitedOtherThan(protocol::TCommandCode code) const {
    return std::ranges::any_of(protocol::Queries(), [this, code](const protocol::TQuery& other) {
        return other.Code != code && Awaits(other.Code);
    });
}

bool TCutterSession::QueryOutstanding() const {
    return FExchange.FPollSizeRequest != 0 || FExchange.FLoopDetect != 0 ||
           FExchange.FFirmwareRequest != 0 || FExchange.FScaleReadRequest != 0;
}

void TCutterSession::ParkTicks() {
    if (Timer1.Enabled()) {
        Timer1.SetEnabled(false);
        FTicksParked = true;
    }
}

// The timer starts afresh: the first tick after the send comes a full interval later,
// never sooner than a running timer's would have.
void TCutterSession::ResumeTicks() {
    if (FTicksParked && QueryOutstanding()) {
        FTicksParked = false;
        Timer1.SetEnabled(true);
    }
}

// The 11th tick with data ends a reply; under the shell's rule so does its first CR.
bool TCutterSession::ReplyEnded(TTicks TExchangeState::*settleTicks) {
    const bool ended = ++(FExchange.*settleTicks) > kSettleTickLimit;
    return ended || (FReplyMode == rmShell && FExchange.FReplyText.find('\r') != std::string::npos);
}

// Under the shell's rule a serial reply ends as soon as its CR has come, not on a tick.
void TCutterSession::EndReplyAtReturn() {
    if (FExchange.FReplyText.find('\r') == std::string::npos) {
        return;
    }
    if (Awaits(protocol::ccSettingsQuery)) {
        CompleteMonitorReply();
        return;
    }
    for (const protocol::TQuery& query : protocol::Queries()) {
        if (Awaits(query.Code)) {
            CompleteQueryReply(BlockOf(query.Code));
            return;
        }
    }
}

// A value signal is given for a whole reply only; one that is not whole is reported as
// such, and the query ends as a refused one does.
void TCutterSession::CompleteQueryReply(const TQueryBlock& block) {
    const std::string reply = FExchange.FReplyText;
    const bool whole = protocol::IsWholeReply(block.Code, reply);
    const std::optional<std::string> failure = TakeReply(block, whole);
    FExchange.*block.SettleTicks = 0;
    EndQuery(block, whole && !failure);
    if (failure) {
        emit Failed({okReplyRefused, *failure});
    } else if (whole) {
        emit(this->*block.Reported)();
    }
    if (!whole) {
        emit ReplyNotWhole(block.Code, reply);
    }
}

void TCutterSession::CompleteMonitorReply() {
    const std::string reply = FExchange.FReplyText;
    const bool whole = protocol::IsWholeReply(protocol::ccSettingsQuery, reply);
    const std::optional<std::string> failure = TakeReply(kSettingsBlock, whole);
    FExchange.FSettingsSettleTicks = 0;
    EndMonitorExchange();
    if (failure) {
        emit Failed({okReplyRefused, *failure});
    } else if (whole) {
        emit SettingsReported();
    }
    if (!whole) {
        emit ReplyNotWhole(protocol::ccSettingsQuery, reply);
    }
}

// The panel decodes every reply; the shell's rule keeps what is shown from any reply
// that is not whole.
std::optional<std::string> TCutterSession::TakeReply(const TQueryBlock& block, bool whole) {
    std::optional<std::string> failure;
    if (whole || FReplyMode == rmPanel) {
        failure = DecodeReply(block);
    } else {
        Log(kReceivedPrefix + Latin1ToUtf8(FExchange.FReplyText));
    }
    FExchange.FReplyText.clear();
    return failure;
}

void TCutterSession::RunQueryBlock(const TQueryBlock& block) {
    CollectPolledInput();
    if (!FExchange.FReplyText.empty()) {
        FExchange.FSilenceTicks = 0;
        if (ReplyEnded(block.SettleTicks)) {
            CompleteQueryReply(block);
        }
        return;
    }
    if (FReplyMode == rmShell) {
        return;
    }
    const bool readBack = &block == &kScaleBlock && FExchange.FScaleReadBack != 0;
    if (++FExchange.FSilenceTicks <= (readBack ? kReadBackSilenceTickLimit : kSilenceTickLimit)) {
        return;
    }
    FExchange.FSilenceTicks = 0;
    EndQuery(block, false);
    if (!readBack) {
        emit Failed({okSilent, SilenceMessageText()});
    }
}

// The link stays open while the monitor or a waiting query still needs it. Whoever waits
// for the outcome may send the next query at once; a query left waiting goes out next.
void TCutterSession::EndQuery(const TQueryBlock& block, bool decoded) {
    FExchange.*block.Flag = 0;
    if (&block == &kScaleBlock) {
        FExchange.FScaleReadBack = 0;
    }
    if (FExchange.FLoopDetect == 0 && FExchange.FDeferredQueries.empty()) {
        CloseLinks();
    }
    if (block.Ended != nullptr) {
        (this->*block.Ended)(decoded);
    }
    SendNextDeferred();
}

void TCutterSession::EndMonitorExchange() {
    FExchange.FMonitorAwaitingReply = 0;
    SendNextDeferred();
}

// The settings monitor: decodes each reply into the settings with the link left open,
// repeats the query after a silent spell, and stops when the cutter stays silent.
void TCutterSession::RunSettingsMonitor() {
    CollectPolledInput();
    if (!FExchange.FReplyText.empty()) {
        FExchange.FSilenceTicks = 0;
        FExchange.FAwaitingFirstReply = 0;
        if (ReplyEnded(&TExchangeState::FSettingsSettleTicks)) {
            CompleteMonitorReply();
        }
        return;
    }
    ++FExchange.FSilenceTicks;
    const std::int32_t silenceLimit =
        FExchange.FAwaitingFirstReply != 0 ? kSilenceTickLimit : kMonitorSilenceTickLimit;
    const bool stopping = FReplyMode == rmPanel && FExchange.FSilenceTicks > silenceLimit;
    // The silent tick that stops the monitor counts toward the resend as well, but sends
    // nothing: its link is closing, and the query that the stop lets go out next must get
    // the link to itself. A resend goes on collecting: a late answer to the last sending
    // is a settings reply too.
    if (++FExchange.FResendTicks > kResendTickLimit) {
        FExchange.FResendTicks = 0;
        if (!stopping) {
            FExchange.FMonitorAwaitingReply = 1;
            SendCommand(protocol::ccSettingsQuery);
            if (FReplyMode == rmShell && FLastWrite.DeviceGone) {
                LosePort({okPortLost, kPortGoneText});
                return;
            }
        }
    }
    if (!stopping) {
        return;
    }
    FExchange.FAwaitingFirstReply = 0;
    FExchange.FSilenceTicks = 0;
    FExchange.FLoopDetect = 0;
    CloseLinks();
    StopMonitor();
    emit MonitorStopped();
    emit Failed({okSilent, SilenceMessageText()});
}

// A link that is asked for its input (USB) is asked on each tick; a serial port's input
// comes by its event.
void TCutterSession::CollectPolledInput() {
    if (FChosenLink != nullptr) {
        FChosenLink->TakeInput(
            0, [this](const char* bytes, std::size_t count) { TakeReplyBytes(bytes, count); });
    }
}

void TCutterSession::CloseLinks() {
    FSerialLink.Close();
    FUsbLink.Close();
}

// Logs and decodes the reply text. A field that does not convert stops the decoder; the
// fields before it stay shown and the failure is returned for showing once the query has
// ended.
std::optional<std::string> TCutterSession::DecodeReply(const TQueryBlock& block) {
    const std::string reply = FExchange.FReplyText;
    Log(kReceivedPrefix + Latin1ToUtf8(reply));
    if (block.NeedsWholeReply && !protocol::IsScaleReading(reply)) {
        return "The cutter's answer '" + Latin1ToUtf8(reply) +
               "' was not a scale reading, so it is not used. Please check the cable and "
               "run Scaling again.";
    }
    std::optional<std::string> failure;
    try {
        protocol::QueryOf(block.Code).Decode(reply, FSettings, [this](std::string_view field) {
            Log(Latin1ToUtf8(field));
        });
    } catch (const toolkit::EConvertError& error) {
        // The field is reply bytes: shown as the log shows it, every byte kept.
        if (!DecodesWholeWithoutLineFeed(block, reply)) {
            failure = Latin1ToUtf8(error.Message());
        }
    } catch (const std::exception& error) {
        failure = error.what();
    }
    if (block.NeedsWholeReply && !failure) {
        FLastScaleReply = reply;
    }
    emit SettingsChanged();
    return failure;
}

// The values are set by then; only whether the reply counts as answered is asked here.
bool TCutterSession::DecodesWholeWithoutLineFeed(const TQueryBlock& block, std::string_view reply) {
    const std::string_view line = protocol::WithoutLineFeedAfterReturn(reply);
    if (line.size() == reply.size()) {
        return false;
    }
    protocol::CutterSettings scratch = FSettings;
    try {
        protocol::QueryOf(block.Code).Decode(line, scratch, nullptr);
    } catch (const toolkit::EConvertError&) {
        return false;
    }
    return true;
}

bool TCutterSession::ClearQueries() {
    const bool scaleQueryAsked = FExchange.FScaleReadRequest != 0;
    for (const protocol::TQuery& query : protocol::Queries()) {
        FExchange.*BlockOf(query.Code).Flag = 0;
    }
    FExchange.FScaleReadBack = 0;
    FExchange.FReplyText.clear();
    return scaleQueryAsked;
}

// A change of port clears the queries alone; abandoning them forgets their counts, the
// queue and the link as well.
void TCutterSession::AbandonQueries() {
    const bool scaleQueryAbandoned = ClearQueries();
    for (const protocol::TQuery& query : protocol::Queries()) {
        FExchange.*BlockOf(query.Code).SettleTicks = 0;
    }
    FExchange.FAwaitingFirstReply = 0;
    FExchange.FMonitorAwaitingReply = 0;
    FExchange.FSilenceTicks = 0;
    FExchange.FResendTicks = 0;
    FExchange.FDeferredQueries.clear();
    CloseLinks();
    if (scaleQueryAbandoned) {
        ScaleQueryFinished(false);
    }
}

void TCutterSession::LosePort(TOutcome outcome) {
    AbandonQueries();
    emit Failed(outcome);
}

void TCutterSession::ScaleQueryFinished(bool decoded) {
    if (decoded) {
        ++FScaleRepliesDecoded;
    }
    emit ScaleQueryEnded(decoded);
}

} // namespace session
