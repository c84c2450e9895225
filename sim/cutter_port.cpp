// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/cutter_port.h"

#include <utility>

namespace sim {

TCutterPort::TCutterPort(TVirtualCutter& cutter, TFaults faults, int delayMs)
    : FCutter(cutter), FShaper(std::move(faults), delayMs) {}

TPortResult TCutterPort::Receive(std::string_view bytes) {
    TPortResult result;
    if (HungUp()) {
        return result;
    }
    TCutterCommands commands;
    FReader.Feed(bytes, commands, result.Events);
    FReader.Flush(result.Events);
    for (const TCutterCommand& command : commands) {
        if (HungUp()) {
            break;
        }
        TCutterEvents events;
        FCutter.Execute(command, events);
        for (TCutterEvent& event : events) {
            if (event.Kind == TEventKind::ekReply) {
                AddReply(event.Text, result);
            } else {
                if (event.Kind == TEventKind::ekFlashWrite) {
                    FShaper.NoteFlashWrite();
                }
                result.Events.push_back(std::move(event));
            }
        }
    }
    return result;
}

void TCutterPort::AddReply(const std::string& reply, TPortResult& result) {
    TReplyPlan plan = FShaper.Shape(reply);
    if (plan.Bytes.empty() && !plan.HangUp) {
        result.Events.push_back({TEventKind::ekLine, "reply withheld (silent)"});
        return;
    }
    result.Events.push_back({TEventKind::ekReply, plan.Text()});
    if (plan.HangUp) {
        result.Events.push_back({TEventKind::ekLine, "the line drops after this reply"});
    }
    result.Replies.push_back(std::move(plan));
}

} // namespace sim
