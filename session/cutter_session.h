// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One cutter session: the link the port name names (serial_link.cpp, usb_link.cpp), the
// tick timer, the exchange state, the query queue, the settings monitor. It needs no
// window: it reports what happens by signals, and whoever shows them decides which box to
// show. Its operations are split by concern: cutter_session.cpp (construction, log, open
// failures, the choice of link), port_link.cpp (the port list's sources and the selection
// check), commands.cpp (the one outgoing path and the query queue) and poll_cycle.cpp
// (reply collection and the tick). The scale save is an operation of its own
// (scale_save.cpp).

#include "link/port_sources.h"
#include "link/serial_api.h"
#include "link/usb_api.h"
#include "protocol/commands.h"
#include "protocol/cutter_settings.h"
#include "session/exchange_state.h"
#include "session/link.h"
#include "session/outcome.h"
#include "session/port_entry.h"
#include "session/scale_save.h"
#include "session/serial_link.h"
#include "session/usb_link.h"
#include "toolkit/timer.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {
class TSessionTestView;
} // namespace testsupport

namespace session {

// The size of a rectangle to cut (the test size, or the size the test cut measured), in
// millimetres as the operator typed it.
struct TCutSize {
    std::string X;
    std::string Y;
};

// Bytes exchanged with the cutter are 8-bit characters: each byte becomes the character
// of the same number, so a log line shows every byte the cutter sent (ESC included).
std::string Latin1ToUtf8(std::string_view bytes);

// The texts of the silence message box.
inline constexpr const char* kUsbCablePluggedText = "When USB cable plug-in, com port not working.";

// What tessaro-query says of a port that went away while it was in use.
inline constexpr const char* kPortGoneText = "the port is gone (hung up or removed)";

// How replies are collected. The panel's rule, the window's: a reply is complete once the
// reply text has held data for 11 ticks, and a silent cutter is given up after 11 ticks
// (151 for the monitor after its first reply). The shell's rule, tessaro-query's: a reply
// ends at its first CR (a LF right after it is the line's), or after 11 ticks with data
// and no CR; only a whole reply is decoded; silence gives nothing up (the caller keeps its
// own clock and the monitor asks again at its pace); a port that cannot carry the query
// is reported at once.
enum TReplyMode : std::uint8_t { rmPanel, rmShell };

class TCutterSession : public QObject, private TLinkReports, private TScaleSaveLink {
    Q_OBJECT

public:
    TCutterSession(devlink::TSerialApi& serial, devlink::TUsbApi& usb,
                   devlink::TPortSources& portSources, QObject* parent = nullptr);
    ~TCutterSession() override;

    // The port: a name as the port list shows it ("COM1", "USB0"). SetPortName only names
    // it; SelectPort is the operator's choice: a query under way is abandoned and the
    // port checked.
    void SetPortName(const std::string& portName);
    const std::string& PortName() const { return FPortName; }
    void SelectPort(const std::string& portName);
    // The port list's entries: serial ports first, then the USB devices that answer.
    std::vector<TPortEntry> PortEntries();

    void SetReplyMode(TReplyMode mode) { FReplyMode = mode; }
    // Ends every query and the monitor without a word, for a caller that stopped waiting
    // (its own time limit passed, or it asks another port): the link is closed and
    // nothing collected or queued is kept.
    void AbandonQueries();

    // The panel's queries and the settings monitor.
    void PollSize();
    void StartMonitor();
    // Stops the monitor; another query's exchange under way keeps its link, its reply and
    // its silence count.
    void StopMonitor();

    // The wizard's save of a new scale into the cutter's flash, as one operation.
    TScaleSave& ScaleSave() { return FScaleSave; }
    // Senders the wizard calls, with the sizes the operator typed. A cut refused by the USB
    // guard is reported by Failed as well.
    TOutcome SendTestDraw(const TCutSize& testSize);
    TOutcome SendCorrectedTestDraw(const TCutSize& measuredSize);
    void SendScaleQuery();
    void SendFirmwareQuery();

    // The port name names a COM port while a USB cutter is attached: the serial link then
    // carries nothing, and the operator must be told so.
    bool UsbBlocksComPort();
    // Whether the link the port name names is open: the senders leave it open after a
    // command without a reply, and a sender that stopped leaves it closed.
    bool LinkOpen() const;

    const protocol::CutterSettings& Settings() const { return FSettings; }
    // How many scale replies have been decoded whole since start; the wizard writes a
    // scale only when this grew after its scale query was sent.
    int ScaleRepliesDecoded() const { return FScaleRepliesDecoded; }
    // The last scale reply taken as a reading, as the cutter sent it.
    const std::string& LastScaleReply() const { return FLastScaleReply; }
    // What the wizard reads of the exchanges: the test cut's size and the measurement as
    // the last command that carried them took them, and the scale values the last write
    // carried.
    TPlotterSize TestDrawSize() const;
    TPlotterSize MeasuredSize() const;
    TScaleValues NewScale() const;

signals:
    // One line for the log (UTF-8), in the order things happen.
    void LogLine(const std::string& line);
    // After every decoder call, also one that failed halfway: the settings are current.
    void SettingsChanged();
    // Something failed that the operator is told of: a query ended unanswered (the silence
    // box's text; the monitor's after MonitorStopped) or its reply was refused, a cut or
    // write refused by the USB guard, under the shell's rule a port that could not be
    // opened or went away (every query and the monitor have ended then; kPortGoneText), an
    // error that escaped a tick or a serial event (the session goes on). Under the shell's
    // rule a query the USB guard refuses ends every query as a lost port does.
    void Failed(const session::TOutcome& failure);
    // A scale query ended: decoded whole (true), or timed out / malformed / abandoned.
    void ScaleQueryEnded(bool decoded);
    // A whole reply of that query was decoded; its values are in Settings(). Reported once
    // the query has ended (its link closed unless another exchange still needs it).
    void SizeReported();
    void SettingsReported();
    void FirmwareReported();
    void ScaleReported();
    // The reply collected for `query` was not one whole reply of it (protocol::ReplyFault
    // says why), so no value signal follows. The shell's rule leaves the settings as they
    // were; the panel's decodes it as the panel always has.
    void ReplyNotWhole(protocol::TCommandCode query, const std::string& reply);
    // StartMonitor() started the monitor.
    void MonitorStarted();
    // The monitor gave up on a silent cutter, as StopMonitor() would have stopped it.
    void MonitorStopped();

private:
    // The test view reads inside.
    friend class testsupport::TSessionTestView;

    // What the links report (TLinkReports).
    void Log(const std::string& line) override { emit LogLine(line); }
    void LinkOpened() override;
    void LinkRefused(const std::string& portName, devlink::TLinkError error) override;
    void DeviceNotFound(const std::string& portName, devlink::TLinkError error) override;
    void Guarded(const std::function<void()>& handler);

    // The link the port name names, or none.
    TLink* LinkNamed(const std::string& portName);
    // The entry PortEntries listed last under `portName` (an empty one when none was): the
    // journal names the device behind the window's port by it.
    TPortEntry ListedPort(const std::string& portName) const override;

    // Ports (port_link.cpp). DetectWinGeneration asks the port sources which generation
    // of system they answer as; that decides where the COM names come from.
    void DetectWinGeneration();
    void AddSerialCommPorts(std::vector<TPortEntry>& entries);
    void AddEnumeratedPorts(std::vector<TPortEntry>& entries);
    void AddUsbDevices(std::vector<TPortEntry>& entries);
    // A link that did not open: the reason, when known, is logged and kept, so the
    // silence text of a query that then went unanswered says it under its first line.
    // An open that succeeds forgets it.
    void NoteOpenFailure(const std::string& portName, const std::string& reason);

    // Commands (commands.cpp).
    enum TUsbGuard : bool { ugNone = false, ugRefuseWhenUsbAttached = true };
    enum TInputBefore : bool { ibKeep = false, ibDiscard = true };
    // What the silence box says: why the link did not answer, with the cause where known.
    std::string SilenceMessageText();
    TOutcome SendOnChosenLink(protocol::TCommandCode code, TUsbGuard guard,
                              TInputBefore input = ibKeep, const TCutSize& size = {});
    // `size` is the test cut's or the measurement, for the two cuts; the others carry none.
    void SendCommand(protocol::TCommandCode code, const TCutSize& size = {});
    std::string BuildCommandText(protocol::TCommandCode code, const TCutSize& size);
    void WriteCommandText();
    TOutcome SendWriteScale();
    TOutcome WriteScale(const TScaleValues& values) override;
    // A cut or write the USB guard refused is told by Failed as well.
    TOutcome ReportGuard(TOutcome outcome);
    // What the scale save does on the link (TScaleSaveLink).
    void SendScaleReadBack() override;
    // The scale values a write would carry now, from the last reading and the sizes of the
    // last test and corrected cuts; toolkit::EConvertError when they give none.
    TScaleValues ScaleToWrite() const override;
    // One reply at a time: the link carries no marker of which query a reply answers, so a
    // query asked for while another's reply is awaited waits until that one has ended.
    // RequestQuery sets the query's flag, then sends it now or queues it.
    void RequestQuery(protocol::TCommandCode code);
    void StartQuery(protocol::TCommandCode code);
    void LosePort(TOutcome outcome);
    // Clears every query's flag and the reply collected; true when a scale query was
    // among them (whoever waits for it is told once the caller is done).
    bool ClearQueries();
    void SendNextDeferred();
    // Empties the reply text and drops input waiting on the open link, just before a query
    // goes out: nothing sent before it can be taken for its reply.
    void DiscardLinkInput();

    // The poll cycle's steps (poll_cycle.cpp): the tick, and the serial port's event
    // that input arrived.
    void Timer1Timer();
    void SerialInputArrived(std::uint32_t count);
    // Timer1 is parked while no query is outstanding: a tick that finds every request flag
    // clear would do nothing, so it stops the timer, and the send sequence starts it again
    // once a sender has set a flag. A timer stopped from outside (a test that ticks by
    // hand) stays stopped.
    bool QueryOutstanding() const;
    void ResumeTicks();
    void ParkTicks();
    bool ReplyAwaited() const;
    bool QueryDeferred(protocol::TCommandCode code) const;
    bool ReplyAwaitedOtherThan(protocol::TCommandCode code) const;
    struct TQueryBlock;
    static const TQueryBlock kPollSizeBlock;
    static const TQueryBlock kSettingsBlock;
    static const TQueryBlock kFirmwareBlock;
    static const TQueryBlock kScaleBlock;
    static const TQueryBlock& BlockOf(protocol::TCommandCode code);
    bool Awaits(protocol::TCommandCode code) const;
    bool QueryRequested(protocol::TCommandCode code) const;
    void MarkQueryRequested(protocol::TCommandCode code);
    bool MonitorMayRun() const;
    void ArmQuery(protocol::TCommandCode code);
    void DropCancelledQueries();
    void EndQuery(const TQueryBlock& block, bool decoded);
    void EndMonitorExchange();
    void TakeReplyBytes(const char* bytes, std::size_t count);
    bool ReplyEnded(TTicks TExchangeState::*settleTicks);
    void EndReplyAtReturn();
    void CompleteQueryReply(const TQueryBlock& block);
    void CompleteMonitorReply();
    void RunQueryBlock(const TQueryBlock& block);
    void RunSettingsMonitor();
    void CollectPolledInput();
    void CloseLinks();
    std::optional<std::string> DecodeReply(const TQueryBlock& block);
    std::optional<std::string> TakeReply(const TQueryBlock& block, bool whole);
    bool DecodesWholeWithoutLineFeed(const TQueryBlock& block, std::string_view reply);
    void ScaleQueryFinished(bool decoded);

    // The tick timer: nominally every millisecond, delivered at the platform's timer
    // resolution.
    toolkit::TTimer Timer1;
    TUsbLink FUsbLink;
    TSerialLink FSerialLink;
    TLink* FChosenLink = nullptr;
    TExchangeState FExchange;
    devlink::TUsbApi& FUsb;
    devlink::TPortSources& FPortSources;
    protocol::CutterSettings FSettings;
    std::string FPortName;
    std::vector<TPortEntry> FListedPorts;
    int FScaleRepliesDecoded = 0;
    std::string FLastScaleReply;
    bool FTicksParked = false;
    TReplyMode FReplyMode = rmPanel;
    // What the link did with the last command written: whether it carried it at all, and
    // whether it found the device gone (hung up, removed).
    TWritten FLastWrite;
    std::string FOpenFailurePort;
    std::string FOpenFailureReason;
    std::string FSendFailure;
    std::optional<TScaleValues> FScaleOverride;
    TScaleSave FScaleSave{*this, *this};
};

} // namespace session
