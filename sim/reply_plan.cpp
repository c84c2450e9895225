// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/reply_plan.h"

#include <charconv>
#include <utility>

namespace sim {
namespace {

constexpr int kDefaultLateMs = 500;
constexpr int kDefaultChunkGapMs = 100;
constexpr std::size_t kDefaultHangUpAfter = 5;
constexpr int kDefaultNoiseAfterMs = 300;
constexpr int kDefaultFlashBusyMs = 400;
// "0,1000,1000\r" loses a digit of its X value: "0,100,1000\r", still three numbers.
constexpr std::size_t kDroppedByteIndex = 3;
constexpr std::uint64_t kMaxFaultArgument = 3600000;

std::uint32_t NextNoise(std::uint32_t& state) {
    // xorshift32: the same seed gives the same noise on every run.
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

bool ParseArgument(std::string_view text, std::uint64_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value <= kMaxFaultArgument;
}

} // namespace

std::string TReplyPlan::Text() const {
    std::string text;
    for (const TTimedByte& timed : Bytes) {
        text.push_back(timed.Byte);
    }
    return text;
}

TReplyShaper::TReplyShaper(TFaults faults, int delayMs)
    : FFaults(std::move(faults)), FDelayMs(delayMs),
      FNoiseState(FFaults.GarbageSeed == 0 ? 1 : FFaults.GarbageSeed) {}

TReplyPlan TReplyShaper::Shape(std::string_view reply) {
    TReplyPlan plan;
    if (FHungUp) {
        plan.HangUp = true;
        return plan;
    }
    if (FFaults.Silent) {
        return plan;
    }
    ++FRepliesShaped;
    plan = Pace(Corrupt(reply));
    AddNoiseAfter(plan);
    ApplyHangUp(plan);
    return plan;
}

std::string TReplyShaper::Corrupt(std::string_view reply) {
    std::string bytes(reply);
    if (FFaults.NoCarriageReturn && !bytes.empty() && bytes.back() == '\r') {
        bytes.pop_back();
    }
    if (FFaults.CrLf && !bytes.empty() && bytes.back() == '\r') {
        bytes.push_back('\n');
    }
    if (FFaults.DropByteOfReply == FRepliesShaped && bytes.size() > kDroppedByteIndex) {
        bytes.erase(kDroppedByteIndex, 1);
    }
    if (FFaults.Garbage) {
        for (char& byte : bytes) {
            byte = static_cast<char>(1 + NextNoise(FNoiseState) % 255);
        }
    }
    return bytes;
}

TReplyPlan TReplyShaper::Pace(std::string_view bytes) {
    TReplyPlan plan;
    const double start = FDelayMs + FFaults.LateMs + (FFlashBusy ? FFaults.FlashBusyMs : 0);
    FFlashBusy = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const double gaps =
            FFaults.ChunkGapMs > 0 ? double(i / kChunkBytes) * FFaults.ChunkGapMs : 0;
        plan.Bytes.push_back({start + double(i + 1) * kByteMilliseconds + gaps, bytes[i]});
    }
    return plan;
}

// Noise that answers nothing: it reaches a host that keeps the port open after the reply.
void TReplyShaper::AddNoiseAfter(TReplyPlan& plan) {
    if (!FFaults.NoiseAfterMs) {
        return;
    }
    const double end = plan.Bytes.empty() ? FDelayMs : plan.Bytes.back().DueMs;
    for (std::size_t i = 0; i < kNoiseBytes; ++i) {
        plan.Bytes.push_back({end + *FFaults.NoiseAfterMs + double(i + 1) * kByteMilliseconds,
                              static_cast<char>(1 + NextNoise(FNoiseState) % 255)});
    }
}

void TReplyShaper::ApplyHangUp(TReplyPlan& plan) {
    if (!FFaults.HangUpAfterBytes) {
        FBytesSent += plan.Bytes.size();
        return;
    }
    const std::size_t allowed = *FFaults.HangUpAfterBytes - FBytesSent;
    if (plan.Bytes.size() >= allowed) {
        plan.Bytes.resize(allowed);
        plan.HangUp = true;
        FHungUp = true;
    }
    FBytesSent += plan.Bytes.size();
}

std::string DescribeFaults() {
    return "    silent          never reply\n"
           "    late[:MS]       wait MS more before every reply (default 500)\n"
           "    chunked[:MS]    send replies in pieces of 4 bytes, MS apart (default 100)\n"
           "    garbage[:SEED]  send noise of the reply's length instead of it (default seed 1)\n"
           "    no-cr           leave out the carriage return that ends a reply\n"
           "    crlf            end every reply with CR LF instead of CR alone\n"
           "    flash-busy[:MS] answer MS late after a scale write, busy with the flash\n"
           "                    (default 400)\n"
           "    hangup[:N]      drop the line after N reply bytes in all (default 5)\n"
           "    drop-byte[:N]   lose the 4th byte of the Nth reply, counted from 1 (default 1)\n"
           "    noise[:MS]      send 8 bytes of noise MS after every reply (default 300)\n"
           "    ignore-write    keep the flash as it is when a scale write comes\n";
}

bool ParseFault(std::string_view faultText, TFaults& faults, std::string& error) {
    const std::size_t colon = faultText.find(':');
    const std::string_view name = faultText.substr(0, colon);
    const bool hasArgument = colon != std::string_view::npos;
    std::uint64_t argument = 0;
    if (hasArgument && !ParseArgument(faultText.substr(colon + 1), argument)) {
        error = "fault " + std::string(faultText) +
                ": the argument must be a whole number from 0 to " +
                std::to_string(kMaxFaultArgument);
        return false;
    }
    if (name == "silent" && !hasArgument) {
        faults.Silent = true;
    } else if (name == "late") {
        faults.LateMs = hasArgument ? int(argument) : kDefaultLateMs;
    } else if (name == "chunked") {
        faults.ChunkGapMs = hasArgument ? int(argument) : kDefaultChunkGapMs;
    } else if (name == "garbage") {
        faults.Garbage = true;
        faults.GarbageSeed = hasArgument ? std::uint32_t(argument) : 1;
    } else if (name == "no-cr" && !hasArgument) {
        faults.NoCarriageReturn = true;
    } else if (name == "crlf" && !hasArgument) {
        faults.CrLf = true;
    } else if (name == "flash-busy") {
        faults.FlashBusyMs = hasArgument ? int(argument) : kDefaultFlashBusyMs;
    } else if (name == "drop-byte" && (!hasArgument || argument > 0)) {
        faults.DropByteOfReply = hasArgument ? std::size_t(argument) : 1;
    } else if (name == "noise") {
        faults.NoiseAfterMs = hasArgument ? int(argument) : kDefaultNoiseAfterMs;
    } else if (name == "ignore-write" && !hasArgument) {
        faults.IgnoreFlashWrites = true;
    } else if (name == "hangup") {
        faults.HangUpAfterBytes = hasArgument ? std::size_t(argument) : kDefaultHangUpAfter;
    } else {
        error =
            "unknown fault " + std::string(faultText) + "; the faults are:\n" + DescribeFaults();
        return false;
    }
    return true;
}

} // namespace sim
