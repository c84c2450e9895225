// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One cutter session: the port component, the tick timer, the exchange state, the query
// queue, the settings monitor and the link the session is given a port name for. It needs
// no window: it reports what happens by signals, and whoever shows them decides which box
// to show. Its operations are split by concern: cutter_session.cpp (construction, log,
// open failures), port_link.cpp (the port list's sources, the selection check, opening
// and closing the serial port), commands.cpp (the one outgoing path and the query queue)
// and poll_cycle.cpp (reply collection and the tick). The scale save is an operation of
// its own (scale_save.cpp).

#include "link/comm.h"
#include "link/port_sources.h"
#include "link/serial_api.h"
#include "link/usb_api.h"
#include "protocol/commands.h"
#include "protocol/cutter_settings.h"
#include "session/exchange_state.h"
#include "session/scale_save.h"
#include "toolkit/timer.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace session {

// Which link the port name names.
enum TLinkKind : std::uint8_t { lkNone, lkSerial, lkUsb };

// The size of a rectangle to cut (the test size, or the size the test cut measured), in
// millimetres as the operator typed it.
struct TCutSize {
    std::string X;
    std::string Y;
};

// One entry of the port list: its name, the device behind it and a USB device's ID.
// Entries of the serial device map may fill an empty port list text.
struct TPortEntry {
    std::string Name;
    bool FillsEmptyText = false;
    std::string DevicePath;
    std::string UsbDeviceId; // empty when the device reports none, and for serial ports

    // What the port list's tooltip says: the device path, and a USB device's ID under it.
    std::string Tooltip() const {
        if (UsbDeviceId.empty() || DevicePath.empty()) {
            return DevicePath.empty() ? UsbDeviceId : DevicePath;
        }
        return DevicePath + "\n" + UsbDeviceId;
    }
};

inline constexpr std::size_t kUsbBufferSize = 2097152;
inline constexpr int kSerialReadBufferSize = 5000;

// Bytes exchanged with the cutter are 8-bit characters: each byte becomes the character
// of the same number, so a log line shows every byte the cutter sent (ESC included).
std::string Latin1ToUtf8(std::string_view bytes);

// A USB device's IEEE 1284 ID for a log line; a device may report none.
inline std::string DeviceIdOrNone(const std::string& deviceId) {
    return deviceId.empty() ? "none reported" : deviceId;
}

// The texts of the silence message box.
inline constexpr const char* kDeviceNotFoundText = "Device not found";
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

// How a sender's command fared: written on the link, refused (a USB cutter attached while
// a COM port is chosen; UsbGuardRefused told why), not sent because the link could not
// be made ready, or not sent because the link did not take it whole (SendFailure() says
// why).
enum TSendOutcome : std::uint8_t { soWritten, soRefused, soLinkNotReady, soNotSent };

class TCutterSession : public QObject {
    Q_OBJECT

public:
    TCutterSession(devlink::TSerialApi& serial, devlink::TUsbApi& usb,
                   devlink::TPortSources& portSources, QObject* parent = nullptr);
    ~TCutterSession() override;

    // The serial port component (termios underneath) and the tick timer.
    devlink::TComm Comm1;
    toolkit::TTimer Timer1;

    // The link: a port name as the port list shows it ("COM1", "USB0").
    void SetPortName(const std::string& portName) { FPortName = portName; }
    const std::string& PortName() const { return FPortName; }
    TLinkKind LinkKind() const;
    int UsbDeviceIndex() const; // the fourth character of the port name minus '0'
    // The operator chose this port: a query under way is abandoned and the port checked.
    void SelectPort(const std::string& portName);
    // The port list's entries: serial ports first, then the USB devices that answer.
    std::vector<TPortEntry> PortEntries();

    // The tick, and the serial component's event that input arrived.
    void Timer1Timer();
    void Comm1RxChar(void* sender, std::uint32_t count);

    // Timer1 is parked while no query is outstanding: a tick that finds every request flag
    // clear would do nothing, so it stops the timer, and the send sequence starts it again
    // once a sender has set a flag. A timer stopped from outside (a test that ticks by
    // hand) stays stopped.
    bool QueryOutstanding() const;
    void ResumeTicks();

    // One reply at a time: the link carries no marker of which query a reply answers, so a
    // query asked for while another's reply is awaited waits until that one has ended.
    bool ReplyAwaited() const;
    bool QueryDeferred(protocol::TCommandCode code) const;
    bool ReplyAwaitedOtherThan(protocol::TCommandCode code) const;
    // Sets the query's flag, then sends it now or queues it behind the reply still awaited.
    void RequestQuery(protocol::TCommandCode code);
    // Empties the reply text and drops input waiting on the open link, just before a query
    // goes out: nothing sent before it can be taken for its reply.
    void DiscardLinkInput();

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

    // Senders the wizard calls, with the sizes the operator typed.
    TSendOutcome SendTestDraw(const TCutSize& testSize);
    TSendOutcome SendCorrectedTestDraw(const TCutSize& measuredSize);
    TSendOutcome SendWriteScale();
    void SendScaleQuery();
    // The scale query that reads a write back: the cutter is given the time its flash
    // takes, and the caller reports a silence.
    void SendScaleReadBack();
    void SendFirmwareQuery();

    // Ports and the links. DetectWinGeneration asks the port sources which generation of
    // system they answer as; that decides where the COM names come from.
    void DetectWinGeneration();
    bool ModemLinesActive();
    void ComPortOpen();
    void ComPortClose();
    // `size` is the test cut's or the measurement, for the two cuts; the others carry none.
    void SendCommand(protocol::TCommandCode code, const TCutSize& size = {});
    bool UsbPortProbe();
    bool UsbDevicePresent();
    void UsbPortOpen();
    void UsbPortClose();
    void UsbPortRead();

    // A link that did not open: the reason, when known, is logged and kept, so the
    // silence text of a query that then went unanswered says it under its first line.
    // An open that succeeds forgets it.
    void NoteOpenFailure(const std::string& portName, const std::string& reason);
    void ForgetOpenFailure();
    // "Device not found" for the USB device the port name names, and why it did not open.
    void LogUsbDeviceNotFound();
    // The port name names a COM port while a USB cutter is attached: the serial link then
    // carries nothing, and the operator must be told so.
    bool UsbBlocksComPort();
    // What the silence box says: why the link did not answer, with the cause where known.
    std::string SilenceMessageText();
    // Why the last command was not sent whole, as the log told it; empty once one was.
    const std::string& SendFailure() const { return FSendFailure; }

    const protocol::CutterSettings& Settings() const { return FSettings; }
    // How many scale replies have been decoded whole since start; the wizard writes a
    // scale only when this grew after its scale query was sent.
    int ScaleRepliesDecoded() const { return FScaleRepliesDecoded; }
    // The last scale reply taken as a reading, as the cutter sent it.
    const std::string& LastScaleReply() const { return FLastScaleReply; }
    // The exchanges' state, read whole (tests compare it with what the operator saw).
    const TExchangeState& ExchangeState() const { return FExchange; }

    // What the wizard reads of the exchanges: the test cut's size and the measurement as
    // the last command that carried them took them, and the scale values the last write
    // carried.
    TPlotterSize TestDrawSize() const;
    TPlotterSize MeasuredSize() const;
    TScaleValues NewScale() const;
    // The scale values a write would carry now, from the last reading and the sizes of the
    // last test and corrected cuts; toolkit::EConvertError when they give none.
    TScaleValues ScaleToWrite() const;
    // Values the next write carries instead, as the save decided them; nothing to forget.
    void OverrideScaleToWrite(std::optional<TScaleValues> values) { FScaleOverride = values; }
    // Whether the link the port name names is open: the senders leave it open after a
    // command without a reply, and a sender that stopped leaves it closed.
    bool LinkOpen() const;

    // Test seams: state the fakes cannot bring about through the operator's path. A query
    // marked as asked for (nothing is sent), reply bytes taken as collected, a USB handle
    // taken as held.
    void StageQueryForTests(protocol::TCommandCode code);
    void StageReplyTextForTests(std::string replyText);
    void StageUsbHandleForTests(std::int32_t handle);

signals:
    // One line for the log (UTF-8), in the order things happen.
    void LogLine(const std::string& line);
    // After every decoder call, also one that failed halfway: the settings are current.
    void SettingsChanged();
    // A query the operator waits for ended unanswered (the silence box's text), or its
    // reply was refused (why). The monitor's silence is reported after MonitorStopped.
    void QuerySilent(const std::string& silenceText);
    void QueryRefused(const std::string& failureText);
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
    // Shell's rule: the port could not be opened (the silence box's text says why), or it
    // went away while in use (kPortGoneText). Every query and the monitor have ended.
    void PortLost(const std::string& text);
    // StartMonitor() started the monitor.
    void MonitorStarted();
    // The monitor gave up on a silent cutter, as StopMonitor() would have stopped it.
    void MonitorStopped();
    // A command that cuts or writes was not sent: a USB cutter is attached while a COM
    // port is chosen.
    void UsbGuardRefused();
    // An error escaped a tick or a serial event; the session goes on.
    void HandlerFailed(const std::string& message);

private:
    void Log(const std::string& line) { emit LogLine(line); }
    void Guarded(const std::function<void()>& handler);

    // Ports (port_link.cpp).
    void AddSerialCommPorts(std::vector<TPortEntry>& entries);
    void AddEnumeratedPorts(std::vector<TPortEntry>& entries);
    void AddUsbDevices(std::vector<TPortEntry>& entries);
    void CheckSerialPort(const std::string& text);
    void CheckUsbDevice(const std::string& text);
    void LogOpenFailureReason(const std::string& text, devlink::TLinkError error);

    // Commands (commands.cpp).
    enum TUsbGuard : bool { ugNone = false, ugRefuseWhenUsbAttached = true };
    enum TInputBefore : bool { ibKeep = false, ibDiscard = true };
    TSendOutcome SendOnChosenLink(protocol::TCommandCode code, TUsbGuard guard,
                                  TInputBefore input = ibKeep, const TCutSize& size = {});
    std::string BuildCommandText(protocol::TCommandCode code, const TCutSize& size);
    void WriteCommandText();
    void StartQuery(protocol::TCommandCode code);
    void LosePort(const std::string& text);
    void SendNextDeferred();
    // Opens each USB device in turn and closes it again: onAnswering runs while an
    // answering device is held, onRefused (when given) after an open that failed.
    void ProbeUsbDevices(const std::function<void(std::int32_t index)>& onAnswering,
                         const std::function<void(std::int32_t index)>& onRefused = nullptr);

    // The poll cycle's steps (poll_cycle.cpp).
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
    void DiscardUsbInput();
    void TakeReplyBytes(const char* bytes, std::size_t count);
    void ReadSerialInput(std::uint32_t count);
    bool ReplyEnded(TTicks TExchangeState::*settleTicks);
    void EndReplyAtReturn();
    void CompleteQueryReply(const TQueryBlock& block);
    void CompleteMonitorReply();
    void RunQueryBlock(const TQueryBlock& block);
    void RunSettingsMonitor();
    void CollectUsbReply();
    void CloseLinks();
    std::optional<std::string> DecodeReply(const TQueryBlock& block);
    std::optional<std::string> TakeReply(const TQueryBlock& block, bool whole);
    bool DecodesWholeWithoutLineFeed(const TQueryBlock& block, std::string_view reply);
    void ScaleQueryFinished(bool decoded);
    void ParkTicks();

    TExchangeState FExchange;
    devlink::TUsbApi& FUsb;
    devlink::TPortSources& FPortSources;
    protocol::CutterSettings FSettings;
    // Left unfilled: each read writes what it reports before anything is taken from it,
    // and pages never written cost no memory.
    std::unique_ptr<char[]> FUsbBuffer;
    std::string FPortName;
    int FScaleRepliesDecoded = 0;
    std::string FLastScaleReply;
    bool FTicksParked = false;
    TReplyMode FReplyMode = rmPanel;
    // The last command written found the link gone (hung up, device removed).
    bool FLinkGone = false;
    std::string FOpenFailurePort;
    std::string FOpenFailureReason;
    std::string FSendFailure;
    std::optional<TScaleValues> FScaleOverride;
    TScaleSave FScaleSave{*this};
};

} // namespace session
