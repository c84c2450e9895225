// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one look inside a cutter session the tests are given, for what its signals and
// values do not show: where each query's exchange stands, the wizard's sizes as the
// commands took them, the link the port name chose, and the timer and serial port the
// bench drives by hand. A test that can assert through the session's face does.

#include "session/cutter_session.h"

#include <cstdint>
#include <string>

namespace testsupport {

class TSessionTestView {
public:
    explicit TSessionTestView(session::TCutterSession& session) : FSession(session) {}

    // Where the exchanges stand. Asked: 1 while the query is asked for (the monitor's
    // while it runs); SettleTicks: the ticks its reply has held data.
    session::TFlag Asked(protocol::TCommandCode query) const {
        switch (query) {
        case protocol::ccPollSize:
            return State().FPollSizeRequest;
        case protocol::ccSettingsQuery:
            return State().FLoopDetect;
        case protocol::ccFirmwareQuery:
            return State().FFirmwareRequest;
        default:
            return State().FScaleReadRequest;
        }
    }
    session::TTicks SettleTicks(protocol::TCommandCode query) const {
        switch (query) {
        case protocol::ccPollSize:
            return State().FPollSizeSettleTicks;
        case protocol::ccSettingsQuery:
            return State().FSettingsSettleTicks;
        case protocol::ccFirmwareQuery:
            return State().FFirmwareSettleTicks;
        default:
            return State().FScaleSettleTicks;
        }
    }
    session::TTicks SilenceTicks() const { return State().FSilenceTicks; }
    session::TTicks ResendTicks() const { return State().FResendTicks; }
    session::TFlag AwaitingFirstReply() const { return State().FAwaitingFirstReply; }
    session::TFlag MonitorAwaitingReply() const { return State().FMonitorAwaitingReply; }
    bool QueryOutstanding() const { return FSession.QueryOutstanding(); }
    std::int32_t WinGeneration() const { return State().FWinGeneration; }
    // The reply collected so far, and the command being written.
    const std::string& ReplyText() const { return State().FReplyText; }
    const std::string& CommandText() const { return State().FCommandText; }

    // The link the port name chose (null for none), and the two the session holds.
    session::TLink* ChosenLink() const { return FSession.FChosenLink; }
    session::TSerialLink& SerialLink() const { return FSession.FSerialLink; }
    session::TUsbLink& UsbLink() const { return FSession.FUsbLink; }
    devlink::TComm& Comm1() const { return FSession.FSerialLink.Comm(); }
    std::int32_t UsbHandle() const { return FSession.FUsbLink.Handle(); }
    toolkit::TTimer& Timer1() const { return FSession.Timer1; }

    // The tick, the serial port's event of `count` arrived bytes, a query asked for as a
    // sender asks, and one command sent on the link as it stands.
    void Tick() const { FSession.Timer1Timer(); }
    void SerialInputArrived(std::uint32_t count) const { FSession.SerialInputArrived(count); }
    void RequestQuery(protocol::TCommandCode query) const { FSession.RequestQuery(query); }
    void SendCommand(protocol::TCommandCode code, const session::TCutSize& size = {}) const {
        FSession.SendCommand(code, size);
    }
    // The scale write as the scale save sends it, alone.
    session::TOutcome SendWriteScale() const { return FSession.SendWriteScale(); }
    // Opens the chosen link as a sender would.
    void OpenChosenLink() const { FSession.FChosenLink->Open(); }

    // State the fakes cannot bring about through the operator's path: a query marked as
    // asked for (nothing is sent), reply bytes taken as collected, a USB handle taken as
    // held.
    void StageQuery(protocol::TCommandCode query) const { FSession.MarkQueryRequested(query); }
    void StageReplyText(std::string replyText) const {
        FSession.FExchange.FReplyText = std::move(replyText);
    }
    void StageUsbHandle(std::int32_t handle) const { FSession.FUsbLink.AdoptHandle(handle); }

private:
    const session::TExchangeState& State() const { return FSession.FExchange; }

    session::TCutterSession& FSession;
};

} // namespace testsupport
