// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window: the operator's panel over one cutter session. It shows what the
// session reports, decides which box to show (never inside a tick: the boxes come from
// signals delivered queued) and keeps the log. Its operations are split by concern:
// main_form.cpp (construction, layout, log, boxes), port_selection.cpp (the port list)
// and panel_commands.cpp (the panel's buttons).

#include "link/port_sources.h"
#include "link/serial_api.h"
#include "link/usb_api.h"
#include "session/cutter_session.h"
#include "toolkit/prompts.h"

#include <QWidget>

#include <functional>
#include <string>

class QComboBox;
class QDialog;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace app {

class TLogWindow;

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

inline constexpr int kLogLineLimit = 10000;
// The log is bounded in size as well: a line longer than this is shown cut, with the
// count of characters cut, and the oldest lines go once the log holds more than this.
inline constexpr int kLogLineCharLimit = 2000;
inline constexpr int kLogCharLimit = 2 * 1024 * 1024; // 4 MiB of text

class TMainForm : public QWidget {
    Q_OBJECT

public:
    explicit TMainForm(const TPlatform& platform, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Set by main(), which builds the dialogs; without it the panel opens no dialog.
    void SetDialogs(TPanelDialogs dialogs);

    // The engine under the panel; main() hands it to the dialogs, which send through it.
    session::TCutterSession& Session() { return FSession; }
    const session::TCutterSession& Session() const { return FSession; }

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

    // Event handlers (each runs inside the event guard when the toolkit calls it).
    void BnPollSizeClick();
    void BnLoopDetectClick();
    void BnDisDetectClick();
    void BnScalingClick();
    void BnExitClick();
    void BnAboutClick();
    void ComboBox1Change();
    void ComboBox1DropDown();

    // Fills the port list from the session's entries. The text keeps its text, unless it is
    // empty and the device map fills it.
    void BuildPortList();

    // The log: one line appended to Memo1 (UTF-8) and written to standard error, and to
    // the log window while it is open.
    void AddLog(const std::string& line);
    // The log window (the context menu's Log..., Ctrl+L): made on first use, filled with
    // the log as it stands, then kept current while it is shown.
    void ShowLogWindow();
    TLogWindow* LogWindow() const { return FLogWindow; }
    std::string PortText() const; // the port list text, as bytes (UTF-8)

    toolkit::TPrompts& Prompts() { return FPrompts; }

private:
    // Construction and the panel (main_form.cpp).
    void BuildControls();
    void BuildButtonRow();
    void BuildValueRows();
    void BuildRightColumn();
    void ConnectHandlers();
    void ConnectSession();
    void ConnectClick(QPushButton* button, void (TMainForm::*handler)());
    void ShowSettings();
    void Guarded(const std::function<void()>& handler);
    void ShowDialogUnlessUsbBlocks(const std::function<QDialog*()>& dialog);
    void AddLogWindowAction();
    void SkipGreyedMnemonicsInPortList();
    // The panel's buttons while the monitor runs, and given back when it stops.
    void TakeButtonsForMonitor();
    void GiveButtonsBack();
    // Boxes, shown from the event loop after the tick that reported them.
    void ShowDecodeFailure(const std::string& message);
    // A failure the session reported after the handler that caused it returned.
    void ShowFailure(const session::TOutcome& failure);

    // The port list (port_selection.cpp).
    void AddPortItem(const std::string& name, const std::string& devicePath);
    void SetPortText(const std::string& text);

    toolkit::TPrompts& FPrompts;
    session::TCutterSession FSession;
    TPanelDialogs FDialogs;
    bool FDecodeFailureOnScreen = false;
    TLogWindow* FLogWindow = nullptr;
};

} // namespace app
