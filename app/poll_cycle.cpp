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

// The cutter ends every reply with a carriage return (a line feed may follow). A reply
// that settled without it was cut short by a slow line.
bool EndsWithCarriageReturn(std::string_view reply) {
    const std::size_t last = reply.find_last_not_of('\n');
    return last != std::string_view::npos && reply[last] == '\r';
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
    // Values that go on into the cutter's flash are taken only from a whole reply.
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

void TMainForm::Comm1RxChar(void* /*sender*/, std::uint32_t count) {
    char buffer[kSerialReadBufferSize];
    while (count > 0) {
        const std::uint32_t wanted = std::min<std::uint32_t>(count, sizeof buffer);
        const int read = Comm1.Read(buffer, wanted);
        if (read < 1) {
            return;
        }
        const auto received = std::min<std::uint32_t>(static_cast<std::uint32_t>(read), wanted);
        FReplyText.append(buffer, received);
        KeepWithinReplyLimit(FReplyText);
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
    std::copy_if(FUsbBuffer.get(), FUsbBuffer.get() + count, std::back_inserter(FReplyText),
                 [](char byte) { return byte != '\0'; });
    KeepWithinReplyLimit(FReplyText);
}

void TMainForm::Timer1Timer() {
    if (!QueryOutstanding()) {
        ParkTicks();
        return;
    }
    // Each block runs only when its flag is set as it is reached: a later block sees what
    // an earlier one changed in the same tick.
    if (FPollSizeRequest != 0) {
        RunQueryBlock(kPollSizeBlock);
    }
    if (FLoopDetect != 0) {
        RunSettingsMonitor();
    }
    if (FFirmwareRequest != 0) {
        RunQueryBlock(kFirmwareBlock);
    }
    if (FScaleReadRequest != 0) {
        RunQueryBlock(kScaleBlock);
    }
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
        this->*block.Flag = 0;
        CloseLinks();
        if (block.Ended != nullptr) {
            (this->*block.Ended)(!failure.has_value());
        }
        if (failure) {
            ShowDecodeFailure(*failure);
        }
        return;
    }
    if (++FSilenceTicks <= kSilenceTickLimit) {
        return;
    }
    FSilenceTicks = 0;
    this->*block.Flag = 0;
    CloseLinks();
    if (block.Ended != nullptr) {
        (this->*block.Ended)(false);
    }
    ShowSilenceMessage();
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
    // The silent tick that stopped the monitor counts toward the resend as well.
    if (++FResendTicks > kResendTickLimit) {
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
    if (block.NeedsWholeReply && !EndsWithCarriageReturn(reply)) {
        return "The cutter's reply '" + Latin1ToUtf8(reply) +
               "' came incomplete and is not used. Please try again.";
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
