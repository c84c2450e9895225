// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The state the exchanges with the cutter share: which queries are asked for, the tick
// counters that complete or give them up, the wizard's sizes and scale values, the reply
// collected so far and the USB handle. A plain value: the main window holds it, the
// tests read it whole.

#include "protocol/commands.h"

#include <cstdint>
#include <deque>
#include <string>

namespace app {

// A USB handle that names no device: none asked for yet, or the last open failed.
inline constexpr std::int32_t kNoUsbHandle = 0;
inline constexpr std::int32_t kFailedUsbHandle = -1;

inline bool IsOpenUsbHandle(std::int32_t handle) {
    return handle != kNoUsbHandle && handle != kFailedUsbHandle;
}

// A pair of lengths in plotter units.
struct TPlotterSize {
    double X = 0;
    double Y = 0;
    bool operator==(const TPlotterSize&) const = default;
};

// The scale values a write puts into the cutter's flash.
struct TScaleValues {
    std::int32_t X = 0;
    std::int32_t Y = 0;
};

struct TExchangeState {
    std::int32_t FSilenceTicks = 0;
    std::int32_t FAwaitingFirstReply = 0;
    std::int32_t FWinGeneration = 0;
    std::int32_t FPollSizeRequest = 0;
    std::int32_t FPollSizeSettleTicks = 0;
    std::int32_t FLoopDetect = 0;
    std::int32_t FSettingsSettleTicks = 0;
    std::int32_t FResendTicks = 0;
    std::int32_t FFirmwareRequest = 0;
    std::int32_t FFirmwareSettleTicks = 0;
    std::int32_t FScaleReadRequest = 0;
    std::int32_t FScaleSettleTicks = 0;
    // The settings monitor has sent its query and its reply has not yet been decoded.
    std::int32_t FMonitorAwaitingReply = 0;
    std::deque<protocol::TCommandCode> FDeferredQueries;
    std::int32_t FNewScaleX = 0;
    std::int32_t FNewScaleY = 0;
    double FTestDrawX = 0;
    double FTestDrawY = 0;
    double FMeasuredX = 0;
    double FMeasuredY = 0;
    std::string FCommandText;
    std::string FReplyText;
    std::int32_t FUsbHandle = kNoUsbHandle;
};

} // namespace app
