// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sim/command_reader.h"
#include "sim/cutter_event.h"
#include "sim/cutter_model.h"
#include "sim/reply_plan.h"

#include <string>
#include <string_view>
#include <vector>

namespace sim {

// What one write of the host made the cutter do and send back.
struct TPortResult {
    TCutterEvents Events; // in order; ekReply events hold the reply as the line carries it
    std::vector<TReplyPlan> Replies; // one per reply, in order
};

// One cable into a cutter: its own reader (commands on two cables do not mix), the cutter
// shared by every cable, and the line's timing and faults.
class TCutterPort {
public:
    TCutterPort(TVirtualCutter& cutter, TFaults faults, int delayMs);

    TPortResult Receive(std::string_view bytes);
    bool HungUp() const { return FShaper.HungUp(); }
    TVirtualCutter& Cutter() { return FCutter; }
    const TVirtualCutter& Cutter() const { return FCutter; }

private:
    void AddReply(const std::string& reply, TPortResult& result);

    TVirtualCutter& FCutter;
    TCommandReader FReader;
    TReplyShaper FShaper;
};

} // namespace sim
