// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The state the exchanges with the cutter share: which queries are asked for, the tick
// counters that complete or give them up, the wizard's sizes and scale values, the reply
// collected so far. A plain value the session holds.

#include "protocol/commands.h"

#include <cstdint>
#include <deque>
#include <string>

namespace session {

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

// A flag as the exchanges keep it: 1 set, 0 clear. A query's flag is set while it is
// asked for.
using TFlag = std::int32_t;
// Timer ticks counted.
using TTicks = std::int32_t;

struct TExchangeState {
    // Ticks without data while a reply is awaited; whether the settings monitor's first
    // reply is still to come (it then gives up as soon as a one-reply query does).
    TTicks FSilenceTicks = 0;
    TFlag FAwaitingFirstReply = 0;
    // Which system generation the port list is built for.
    std::int32_t FWinGeneration = 0;
    // Per query: its flag (1 while it is asked for) and the ticks its reply has held data.
    TFlag FPollSizeRequest = 0;
    TTicks FPollSizeSettleTicks = 0;
    // The settings monitor also counts silent ticks toward its next sending.
    TFlag FLoopDetect = 0;
    TTicks FSettingsSettleTicks = 0;
    TTicks FResendTicks = 0;
    // The About dialog's firmware query and the wizard's scale query.
    TFlag FFirmwareRequest = 0;
    TTicks FFirmwareSettleTicks = 0;
    TFlag FScaleReadRequest = 0;
    TTicks FScaleSettleTicks = 0;
    // The scale query reads back a write: the cutter may still be busy with its flash, so
    // it is given longer, and the wizard that waits for it reports its silence.
    TFlag FScaleReadBack = 0;
    // The settings monitor has sent its query and its reply has not yet been decoded.
    TFlag FMonitorAwaitingReply = 0;
    // Queries asked for while another's reply was awaited, in the order they go out.
    std::deque<protocol::TCommandCode> FDeferredQueries;
    // The scale values the last write carried, and the sizes (plotter units) the last
    // test cut and corrected cut took from the wizard's fields.
    std::int32_t FNewScaleX = 0;
    std::int32_t FNewScaleY = 0;
    double FTestDrawX = 0;
    double FTestDrawY = 0;
    double FMeasuredX = 0;
    double FMeasuredY = 0;
    // The command being written, and the reply collected for the query awaited.
    std::string FCommandText;
    std::string FReplyText;
};

} // namespace session
