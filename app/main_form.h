// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window: the operator's panel, the owner of the serial component, the tick
// timer, the log and the protocol state that the exchanges share. Its operations are
// split by concern: main_form.cpp (construction, layout, log), port_selection.cpp,
// commands.cpp, panel_commands.cpp and poll_cycle.cpp.

#include "app/exchange_state.h"
#include "link/comm.h"
#include "link/port_sources.h"
#include "link/serial_api.h"
#include "link/usb_api.h"
#include "protocol/commands.h"
#include "protocol/cutter_settings.h"
#include "toolkit/prompts.h"
#include "toolkit/timer.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QDialog;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace app {

class TLogWindow;

// Which link the port list text names.
enum TLinkKind : std::uint8_t { lkNone, lkSerial, lkUsb };

// The wizard's edit fields, read when a test cut or a corrected cut is built. The dialogs
// provide them; the main window does not know the dialogs.
struct TWizardFields {
    std::function<std::string()> TestDrawX; // millimetres, as typed
    std::function<std::string()> TestDrawY;
    std::function<std::string()> MeasuredX;
    std::function<std::string()> MeasuredY;
};

// The two dialogs the panel opens, each made the first time it is asked for. main() sets
// them; the main window does not know the dialogs.
struct TPanelDialogs {
    std::function<QDialog*()> About;
    std::function<QDialog*()> Scaling;
};

// The platform services the window works through, chosen once in main().
struct TPlatform {
    devlink::TSerialApi& Serial;
    devlink::TUsbApi& Usb;
    devlink::TPortSources& PortSources;
    toolkit::TPrompts& Prompts;
};

inline constexpr std::size_t kUsbBufferSize = 2097152;
inline constexpr int kSerialReadBufferSize = 5000;
inline constexpr int kLogLineLimit = 10000;
// The log is bounded in size as well: a line longer than this is shown cut, with the
// count of characters cut, and the oldest lines go once the log holds more than this.
inline constexpr int kLogLineCharLimit = 2000;
inline constexpr int kLogCharLimit = 2 * 1024 * 1024; // 4 MiB of text

// Bytes exchanged with the cutter are 8-bit characters: each byte becomes the character
// of the same number, so a log line shows every byte the cutter sent (ESC included).
std::string Latin1ToUtf8(std::string_view bytes);

// A USB device's IEEE 1284 ID for a log line; a device may report none.
inline std::string DeviceIdOrNone(const std::string& deviceId) {
    return deviceId.empty() ? "none reported" : deviceId;
}

// The silence message box's two texts.
inline constexpr const char* kDeviceNotFoundText = "Device not found";
inline constexpr const char* kUsbCablePluggedText = "When USB cable plug-in, com port not working.";

// How a sender's command fared: written on the link, refused with a box already shown
// (a USB cutter attached while a COM port is chosen), or not sent because the link could
// not be made ready.
enum TSendOutcome : std::uint8_t { soWritten, soRefusedWithBox, soLinkNotReady };

class TMainForm : public QWidget {
    Q_OBJECT

public:
    explicit TMainForm(const TPlatform& platform, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Set by the wizard flow beside the window; without it the panel opens no dialog and
    // the fields read empty.
    void SetDialogs(TPanelDialogs dialogs);
    void SetWizardFields(TWizardFields fields);

    // The panel's controls; tests click them.
    QPushButton* BnPollSize = nullptr;
    QPushButton* BnLoopDetect = nullptr;
    QPushButton* BnDisDetect = nullptr;
    QPushButton* BnScaling = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* LaPollSizeX = nullptr;
    QLabel* LaPollSizeY = nullptr;
    QLabel* LaForce = nullptr;
    QLabel* LaOffset = nullptr;
    QLabel* LaMediaWeight = nullptr;
    QLabel* LaQuality = nullptr;
    QLabel* LaSmooth = nullptr;
    QLabel* LaAutoUnroll = nullptr;
    QLabel* LaMediaType = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QPushButton* BnExit = nullptr;
    QPushButton* BnAbout = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    devlink::TComm Comm1;
    toolkit::TTimer Timer1;

    // Event handlers (each runs inside the event guard when the toolkit calls it).
    void BnPollSizeClick();
    void BnLoopDetectClick();
    void BnDisDetectClick();
    void BnScalingClick();
    void BnExitClick();
    void BnAboutClick();
    void ComboBox1Change();
    void ComboBox1DropDown();
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

    // Senders the dialogs call.
    TSendOutcome SendTestDraw();
    TSendOutcome SendCorrectedTestDraw();
    TSendOutcome SendWriteScale();
    void SendScaleQuery();
    // The scale query that reads a write back: the cutter is given the time its flash
    // takes, and the caller reports a silence.
    void SendScaleReadBack();
    void SendFirmwareQuery();

    // Port discovery and selection.
    void DetectWinGeneration();
    void BuildPortList();
    void AddSerialCommPorts();
    bool ModemLinesActive();
    void ComPortOpen();
    void ComPortClose();

    // Commands and the USB link.
    void SendCommand(protocol::TCommandCode code);
    TLinkKind LinkKind() const;
    int UsbDeviceIndex() const; // the fourth character of the port list text minus '0'
    bool UsbPortProbe();
    bool UsbDevicePresent();
    void UsbPortOpen();
    void UsbPortClose();
    void UsbPortRead();

    // The log: one line appended to Memo1 (UTF-8) and written to standard error, and to
    // the log window while it is open.
    void AddLog(const std::string& line);
    // The log window (the context menu's Log..., Ctrl+L): made on first use, filled with
    // the log as it stands, then kept current while it is shown.
    void ShowLogWindow();
    TLogWindow* LogWindow() const { return FLogWindow; }
    // A link that did not open: the reason, when known, is logged and kept, so the
    // message box of a query that then went unanswered says it under its first line.
    // An open that succeeds forgets it.
    void NoteOpenFailure(const std::string& portText, const std::string& reason);
    void ForgetOpenFailure();
    // "Device not found" for the USB device the port list names, and why it did not open.
    void LogUsbDeviceNotFound();
    std::string PortText() const; // the port list text, as bytes (UTF-8)
    // The port list names a COM port while a USB cutter is attached: the serial link then
    // carries nothing, and the operator must be told so.
    bool UsbBlocksComPort();
    // What the silence box says: why the link did not answer, with the cause where known.
    std::string SilenceMessageText();

    toolkit::TPrompts& Prompts() { return FPrompts; }
    const protocol::CutterSettings& Settings() const { return FSettings; }
    // How many scale replies have been decoded whole since start; the wizard writes a
    // scale only when this grew after its scale query was sent.
    int ScaleRepliesDecoded() const { return FScaleRepliesDecoded; }
    // The last scale reply taken as a reading, as the cutter sent it.
    const std::string& LastScaleReply() const { return FLastScaleReply; }

    // The exchanges' state, read whole (tests compare it with what the operator saw).
    const TExchangeState& ExchangeState() const { return FExchange; }

    // What the wizard's dialogs read of the exchanges: the test cut's size and the
    // measurement as the last command that carried them took them, and the scale values
    // the last write carried.
    TPlotterSize TestDrawSize() const;
    TPlotterSize MeasuredSize() const;
    TScaleValues NewScale() const;
    // The scale values a write would carry now, from the last reading and the sizes of the
    // last test and corrected cuts; toolkit::EConvertError when they give none.
    TScaleValues ScaleToWrite() const;
    // Whether the link the port list names is open: the senders leave it open after a
    // command without a reply, and a sender that stopped leaves it closed.
    bool LinkOpen() const;

    // Test seams: state the fakes cannot bring about through the operator's path. A query
    // marked as asked for (nothing is sent), reply bytes taken as collected, a USB handle
    // taken as held.
    void StageQueryForTests(protocol::TCommandCode code);
    void StageReplyTextForTests(std::string replyText);
    void StageUsbHandleForTests(std::int32_t handle);

signals:
    // After every decoder call, also one that failed halfway: the labels are current.
    void SettingsChanged();
    // A scale query ended: decoded whole (true), or timed out / malformed (false).
    void ScaleQueryEnded(bool decoded);

private:
    // Construction and the panel (main_form.cpp).
    void BuildControls();
    void BuildButtonRow();
    void BuildValueRows();
    void BuildRightColumn();
    void ConnectHandlers();
    void ConnectClick(QPushButton* button, void (TMainForm::*handler)());
    void ShowSettings();
    void Guarded(const std::function<void()>& handler);
    void ShowDialogUnlessUsbBlocks(const std::function<QDialog*()>& dialog);
    void AddLogWindowAction();
    void SkipGreyedMnemonicsInPortList();
    // The silence box's text: the first line, then the known reason the link did not open.

    // Port discovery and selection (port_selection.cpp).
    void AddEnumeratedPorts();
    void AddUsbDevices();
    void AddPortItem(const std::string& name, const std::string& devicePath);
    void SetPortText(const std::string& text);
    void CheckSerialPort(const std::string& text);
    void CheckUsbDevice(const std::string& text);
    void LogOpenFailureReason(const std::string& text, devlink::TLinkError error);

    // Commands (commands.cpp).
    std::string BuildCommandText(protocol::TCommandCode code);
    void WriteCommandText();
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
    void StartQuery(protocol::TCommandCode code);
    void SendNextDeferred();
    void DropCancelledQueries();
    void EndQuery(const TQueryBlock& block, bool decoded);
    void EndMonitorExchange();
    void DiscardUsbInput();
    void TakeReplyBytes(const char* bytes, std::size_t count);
    void RunQueryBlock(const TQueryBlock& block);
    void RunSettingsMonitor();
    void CollectUsbReply();
    void CloseLinks();
    std::optional<std::string> DecodeReply(const TQueryBlock& block);
    void ScaleQueryFinished(bool decoded);
    void ShowDecodeFailure(const std::string& message);
    void ShowSilenceMessage();
    void ParkTicks();

    TExchangeState FExchange;
    toolkit::TPrompts& FPrompts;
    devlink::TUsbApi& FUsb;
    devlink::TPortSources& FPortSources;
    protocol::CutterSettings FSettings;
    // Left unfilled: each read writes what it reports before anything is taken from it,
    // and pages never written cost no memory.
    std::unique_ptr<char[]> FUsbBuffer;
    TPanelDialogs FDialogs;
    TWizardFields FWizardFields;
    int FScaleRepliesDecoded = 0;
    std::string FLastScaleReply;
    bool FDecodeFailureOnScreen = false;
    bool FTicksParked = false;
    TLogWindow* FLogWindow = nullptr;
    std::string FOpenFailurePort;
    std::string FOpenFailureReason;
};

} // namespace app
