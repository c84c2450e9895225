// Reply collection and the tick that completes, decodes or gives up each outstanding
// query. Replies carry no end marker: a reply is complete once the reply text has held
// data for 11 ticks. All waiting is counted in ticks; nothing here reads a clock.
//
// Ticks and serial events keep arriving while a message box is open, so every ending
// changes all of its state before it shows a box.

#include "app/main_form.h"

#include "protocol/reply_decoding.h"
#include "toolkit/conversions.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

namespace app {

namespace {

constexpr std::int32_t kSettleTickLimit = 10;          // the 11th tick with data completes
constexpr std::int32_t kSilenceTickLimit = 10;         // the 11th silent tick gives up
constexpr std::int32_t kMonitorSilenceTickLimit = 150; // after the monitor's first reply
constexpr std::int32_t kResendTickLimit = 100;         // the 101st silent tick resends

constexpr const char* kReceivedPrefix = "接收:";

// Far above any reply of the cutter. A line that floods more than this before the reply
// settles is cut here, so one decode never logs thousands of fields and stalls the window.
constexpr std::size_t kReplyTextLimit = 16384;

void KeepWithinReplyLimit(std::string& replyText) {
    if (replyText.size() > kReplyTextLimit) {
        replyText.resize(kReplyTextLimit);
    }
}

constexpr protocol::TCommandCode kQueries[] = {protocol::ccPollSize, protocol::ccSettingsQuery,
                                               protocol::ccFirmwareQuery, protocol::ccScaleQuery};

constexpr const char* kIgnoredBytesText = " bytes from the cutter ignored: no answer was awaited";
constexpr const char* kDiscardedBytesText = " bytes left on the line discarded before a query";

// A field of a scale reading: digits only, a value a 32-bit integer holds.
bool IsPlainInteger(std::string_view field) {
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    return !field.empty() && field.front() != '-' && error == std::errc() &&
           end == field.data() + field.size();
}

// A scale reading feeds a write into the cutter's flash, so only a reply exactly in the
// cutter's form is one: three plain integers separated by commas, the carriage return at
// the end and nothing after it. A byte lost or an answer to another query is refused.
bool IsScaleReading(std::string_view reply) {
    if (reply.empty() || reply.back() != '\r') {
        return false;
    }
    reply.remove_suffix(1);
    for (int field = 0; field < 3; ++field) {
        const std::size_t comma = reply.find(',');
        const bool last = field == 2;
        if ((comma == std::string_view::npos) != last || !IsPlainInteger(reply.substr(0, comma))) {
            return false;
        }
        reply.remove_prefix(last ? reply.size() : comma + 1);
    }
    return true;
}

} // namespace

// One query of the poll cycle: the flag that arms it, its data counter and its decoder.
struct TMainForm::TQueryBlock {
    using TDecoder = void (*)(std::string_view reply, protocol::CutterSettings& settings,
                              const protocol::TFieldLog& log);

    std::int32_t TMainForm::*Flag;
    std::int32_t TMainForm::*SettleTicks;
    TDecoder Decode;
    // Told how the query ended; null when nobody waits for it.
    void (TMainForm::*Ended)(bool decoded);
    // Values that go on into the cutter's flash are taken only from a reply in form.
    bool NeedsWholeReply;
};

const TMainForm::TQueryBlock TMainForm::kPollSizeBlock{&TMainForm::FPollSizeRequest,
                                                       &TMainForm::FPollSizeSettleTicks,
                                                       &protocol::DecodeSizeReply, nullptr, false};
const TMainForm::TQueryBlock TMainForm::kSettingsBlock{
    &TMainForm::FLoopDetect, &TMainForm::FSettingsSettleTicks, &protocol::DecodeSettingsReply,
    nullptr, false};
const TMainForm::TQueryBlock TMainForm::kFirmwareBlock{
    &TMainForm::FFirmwareRequest, &TMainForm::FFirmwareSettleTicks,
    [](std::string_view reply, protocol::CutterSettings& settings, const protocol::TFieldLog&) {
        protocol::DecodeModelReply(reply, settings);
    },
    nullptr, false};
const TMainForm::TQueryBlock TMainForm::kScaleBlock{
    &TMainForm::FScaleReadRequest, &TMainForm::FScaleSettleTicks, &protocol::DecodeScaleReply,
    &TMainForm::ScaleQueryFinished, true};

const TMainForm::TQueryBlock& TMainForm::BlockOf(protocol::TCommandCode code) {
    switch (code) {
    case protocol::ccPollSize:
        return kPollSizeBlock;
    case protocol::ccSettingsQuery:
        return kSettingsBlock;
    case protocol::ccFirmwareQuery:
        return kFirmwareBlock;
    default:
        return kScaleBlock;
    }
}

// An event counted bytes that a purge has since dropped: reading them would wait for the
// read deadline on the window's thread.
void TMainForm::Comm1RxChar(void* /*sender*/, std::uint32_t count) {
    char buffer[kSerialReadBufferSize];
    count =
        std::min<std::uint32_t>(count, static_cast<std::uint32_t>(std::max(Comm1.InQueCount(), 0)));
    while (count > 0) {
        const std::uint32_t wanted = std::min<std::uint32_t>(count, sizeof buffer);
        const int read = Comm1.Read(buffer, wanted);
        if (read < 1) {
            return;
        }
        const auto received = std::min<std::uint32_t>(static_cast<std::uint32_t>(read), wanted);
        TakeReplyBytes(buffer, received);
        // A short read means the read deadline passed: asking again would only wait once more.
        if (received < wanted) {
            return;
        }
        count -= received;
    }
}

void TMainForm::UsbPortRead() {
    std::uint32_t count = 0;
    if (FUsb.UsbReceiveCheck(FUsbHandle, &count) < 0) {
        return;
    }
    if (FUsb.UsbReceive(FUsbHandle, FUsbBuffer.get(), static_cast<std::int32_t>(kUsbBufferSize),
                        &count) < 0) {
        return;
    }
    // A count beyond the buffer cannot be true; never read past it.
    count = static_cast<std::uint32_t>(std::min<std::size_t>(count, kUsbBufferSize));
    AddLog("Receive Data : " + std::to_string(count) + " bytes");
    std::string received;
    std::copy_if(FUsbBuffer.get(), FUsbBuffer.get() + count, std::back_inserter(received),
                 [](char byte) { return byte != '\0'; });
    TakeReplyBytes(received.data(), received.size());
}

// Bytes that come while no reply is awaited answer nothing that was asked: a late reply
// to an abandoned query, or noise. They are dropped, never kept for the next query.
void TMainForm::TakeReplyBytes(const char* bytes, std::size_t count) {
    if (count == 0) {
        return;
    }
    if (!ReplyAwaited()) {
        AddLog(std::to_string(count) + kIgnoredBytesText);
        return;
    }
    FReplyText.append(bytes, count);
    KeepWithinReplyLimit(FReplyText);
}

void TMainForm::DiscardLinkInput() {
    FReplyText.clear();
    switch (LinkKind()) {
    case lkSerial:
        if (Comm1.Enabled()) {
            const int waiting = Comm1.InQueCount();
            Comm1.PurgeIn();
            if (waiting > 0) {
                AddLog(std::to_string(waiting) + kDiscardedBytesText);
            }
        }
        break;
    case lkUsb:
        DiscardUsbInput();
        break;
    case lkNone:
        break;
    }
}

// Reads and drops what the device holds. Bounded, so a device that never stops sending
// cannot hold the window here.
void TMainForm::DiscardUsbInput() {
    constexpr int kMaxDiscardReads = 16;
    std::size_t discarded = 0;
    for (int read = 0; read < kMaxDiscardReads; ++read) {
        std::uint32_t count = 0;
        if (FUsb.UsbReceiveCheck(FUsbHandle, &count) < 0 ||
            FUsb.UsbReceive(FUsbHandle, FUsbBuffer.get(), static_cast<std::int32_t>(kUsbBufferSize),
                            &count) < 0 ||
            count == 0) {
            break;
        }
        discarded += std::min<std::size_t>(count, kUsbBufferSize);
    }
    if (discarded > 0) {
        AddLog(std::to_string(discarded) + kDiscardedBytesText);
    }
}

void TMainForm::Timer1Timer() {
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

bool TMainForm::MonitorMayRun() const {
    return FLoopDetect != 0 && !QueryDeferred(protocol::ccSettingsQuery) &&
           !ReplyAwaitedOtherThan(protocol::ccSettingsQuery);
}

// A query cancelled while it waited (a change of port clears every flag) waits no more.
bool TMainForm::QueryDeferred(protocol::TCommandCode code) const {
    return QueryRequested(code) && std::find(FDeferredQueries.begin(), FDeferredQueries.end(),
                                             code) != FDeferredQueries.end();
}

void TMainForm::DropCancelledQueries() {
    std::erase_if(FDeferredQueries,
                  [this](protocol::TCommandCode code) { return !QueryRequested(code); });
    if (FLoopDetect == 0) {
        FMonitorAwaitingReply = 0;
    }
}

// The monitor awaits a reply only from its sending to its decoding; in between it merely
// counts toward its next sending.
bool TMainForm::Awaits(protocol::TCommandCode code) const {
    const bool armed = code == protocol::ccSettingsQuery
                           ? FLoopDetect != 0 && FMonitorAwaitingReply != 0
                           : QueryRequested(code);
    return armed && !QueryDeferred(code);
}

bool TMainForm::QueryRequested(protocol::TCommandCode code) const {
    return this->*BlockOf(code).Flag != 0;
}

void TMainForm::MarkQueryRequested(protocol::TCommandCode code) {
    this->*BlockOf(code).Flag = 1;
}

void TMainForm::ArmQuery(protocol::TCommandCode code) {
    FSilenceTicks = 0;
    this->*BlockOf(code).SettleTicks = 0;
    if (code == protocol::ccSettingsQuery) {
        FMonitorAwaitingReply = 1;
    }
}

bool TMainForm::ReplyAwaited() const {
    return std::any_of(std::begin(kQueries), std::end(kQueries),
                       [this](protocol::TCommandCode code) { return Awaits(code); });
}

bool TMainForm::ReplyAwaitedOtherThan(protocol::TCommandCode code) const {
    return std::any_of(
        std::begin(kQueries), std::end(kQueries),
        [this, code](protocol::TCommandCode other) { return other != code && Awaits(other); });
}

bool TMainForm::QueryOutstanding() const {
    return FPollSizeRequest != 0 || FLoopDetect != 0 || FFirmwareRequest != 0 ||
           FScaleReadRequest != 0;
}

void TMainForm::ParkTicks() {
    if (Timer1.Enabled()) {
        Timer1.SetEnabled(false);
        FTicksParked = true;
    }
}

// The timer starts afresh: the first tick after the send comes a full interval later,
// never sooner than a running timer's would have.
void TMainForm::ResumeTicks() {
    if (FTicksParked && QueryOutstanding()) {
        FTicksParked = false;
        Timer1.SetEnabled(true);
    }
}

void TMainForm::RunQueryBlock(const TQueryBlock& block) {
    CollectUsbReply();
    if (!FReplyText.empty()) {
        FSilenceTicks = 0;
        if (++(this->*block.SettleTicks) <= kSettleTickLimit) {
            return;
        }
        const std::optional<std::string> failure = DecodeReply(block);
        FReplyText.clear();
        this->*block.SettleTicks = 0;
        EndQuery(block, !failure.has_value());
        if (failure) {
            ShowDecodeFailure(*failure);
        }
        return;
    }
    if (++FSilenceTicks <= kSilenceTickLimit) {
        return;
    }
    FSilenceTicks = 0;
    EndQuery(block, false);
    ShowSilenceMessage();
}

// The link stays open while the monitor or a waiting query still needs it. Whoever waits
// for the outcome may send the next query at once; a query left waiting goes out next.
void TMainForm::EndQuery(const TQueryBlock& block, bool decoded) {
    this->*block.Flag = 0;
    if (FLoopDetect == 0 && FDeferredQueries.empty()) {
        CloseLinks();
    }
    if (block.Ended != nullptr) {
        (this->*block.Ended)(decoded);
    }
    SendNextDeferred();
}

void TMainForm::EndMonitorExchange() {
    FMonitorAwaitingReply = 0;
    SendNextDeferred();
}

// The settings monitor: decodes each reply into the panel with the link left open,
// repeats the query after a silent spell, and stops when the cutter stays silent.
void TMainForm::RunSettingsMonitor() {
    CollectUsbReply();
    if (!FReplyText.empty()) {
        FSilenceTicks = 0;
        FAwaitingFirstReply = 0;
        if (++FSettingsSettleTicks <= kSettleTickLimit) {
            return;
        }
        const std::optional<std::string> failure = DecodeReply(kSettingsBlock);
        FReplyText.clear();
        FSettingsSettleTicks = 0;
        EndMonitorExchange();
        if (failure) {
            ShowDecodeFailure(*failure);
        }
        return;
    }
    ++FSilenceTicks;
    const std::int32_t silenceLimit =
        FAwaitingFirstReply != 0 ? kSilenceTickLimit : kMonitorSilenceTickLimit;
    const bool stopping = FSilenceTicks > silenceLimit;
    if (stopping) {
        FAwaitingFirstReply = 0;
        FSilenceTicks = 0;
        FLoopDetect = 0;
        CloseLinks();
        BnDisDetectClick();
    }
    // The silent tick that stopped the monitor counts toward the resend as well. A resend
    // goes on collecting: a late answer to the last sending is a settings reply too.
    if (++FResendTicks > kResendTickLimit) {
        FMonitorAwaitingReply = FLoopDetect;
        SendCommand(protocol::ccSettingsQuery);
        FResendTicks = 0;
    }
    if (stopping) {
        ShowSilenceMessage();
    }
}

void TMainForm::CollectUsbReply() {
    if (PortText().find("USB") != std::string::npos) {
        UsbPortRead();
    }
}

void TMainForm::CloseLinks() {
    ComPortClose();
    UsbPortClose();
}

// Logs and decodes the reply text. A field that does not convert stops the decoder; the
// fields before it stay shown and the failure is returned for showing once the query has
// ended.
std::optional<std::string> TMainForm::DecodeReply(const TQueryBlock& block) {
    const std::string reply = FReplyText;
    AddLog(kReceivedPrefix + Latin1ToUtf8(reply));
    if (block.NeedsWholeReply && !IsScaleReading(reply)) {
        return "The cutter's answer '" + Latin1ToUtf8(reply) +
               "' was not a scale reading, so it is not used. Please check the cable and "
               "run Scaling again.";
    }
    std::optional<std::string> failure;
    try {
        block.Decode(reply, FSettings,
                     [this](std::string_view field) { AddLog(Latin1ToUtf8(field)); });
    } catch (const toolkit::EConvertError& error) {
        // The field is reply bytes: shown as the log shows it, every byte kept.
        failure = Latin1ToUtf8(error.Message());
    } catch (const std::exception& error) {
        failure = error.what();
    }
    if (block.NeedsWholeReply && !failure) {
        FLastScaleReply = reply;
    }
    ShowSettings();
    return failure;
}

void TMainForm::ScaleQueryFinished(bool decoded) {
    if (decoded) {
        ++FScaleRepliesDecoded;
    }
    emit ScaleQueryEnded(decoded);
}

// The monitor keeps decoding while the box is open, so a cutter that keeps answering
// garbage would stack one modal box on the other without end: while one is on screen,
// later failures go to the log.
void TMainForm::ShowDecodeFailure(const std::string& message) {
    if (FDecodeFailureOnScreen) {
        AddLog(message);
        return;
    }
    FDecodeFailureOnScreen = true;
    struct TBoxClosed {
        bool& OnScreen;
        ~TBoxClosed() { OnScreen = false; }
    } boxClosed{FDecodeFailureOnScreen};
    Prompts().ShowException(message);
}

void TMainForm::ShowSilenceMessage() {
    Prompts().MessageBox(SilenceMessageText());
}

} // namespace app
