// SPDX-License-Identifier: GPL-3.0-or-later
// The program entry: answers --help and --version, makes sure a display can be opened,
// chooses the Linux implementations of the platform services, creates the main window and
// the wizard flow that makes its dialogs, and runs the event loop until the main window
// closes or SIGTERM, SIGINT or SIGHUP ends it. An error at start-up is shown in the
// standard error box; the exit code is then 0.

#include "app/command_line.h"
#include "app/design_position.h"
#include "app/main_form.h"
#include "app/window_look.h"
#include "dialogs/about_form.h"
#include "dialogs/scale_form.h"
#include "dialogs/wizard_flow.h"
#include "platform/linux/linux_port_sources.h"
#include "platform/linux/linux_serial_api.h"
#include "platform/linux/linux_usb_api.h"
#include "session/scale_journal.h"
#include "tessaro_version.h"
#include "toolkit/event_guard.h"
#include "toolkit/qt_prompts.h"
#include "toolkit/termination_signals.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kUsage =
    "Usage: tessaro [--help | --version] [QT OPTION]...\n"
    "Shows a vinyl cutter's media size and settings and calibrates its length scale.\n"
    "The cutter's port is chosen in the window, and the log goes to standard error.\n"
    "Qt's own options (-platform, -style, -display, ...) go to Qt. See tessaro(1) and\n"
    "the user guide, README.md, in /usr/share/doc/tessaro/.\n"
    "\n"
    "  -h, --help  show this text\n"
    "  --version   show the version\n";

// --help and --version are answered before any display is opened; an argument that is
// neither those nor Qt's own is refused. Returns the exit code when the program ends here.
std::optional<int> AnswerCommandLine(int argc, char* argv[]) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const app::TCommandLine commandLine = app::ReadCommandLine(arguments);
    switch (commandLine.Action) {
    case app::caRun:
        return std::nullopt;
    case app::caHelp:
        std::fputs(kUsage, stdout);
        return 0;
    case app::caVersion:
        std::printf("tessaro %s\n", kTessaroVersion);
        return 0;
    case app::caRefuse:
        break;
    }
    std::fprintf(stderr, "%s\n", commandLine.Refusal.c_str());
    return 2;
}

// Qt aborts with several lines of diagnostics when it cannot open a display. While the
// application object is being made its messages are held back: a fatal one becomes one
// line and exit code 1, the others are written out once the display is open.
class TDisplayCheck {
public:
    TDisplayCheck() { FPrevious = qInstallMessageHandler(&Hold); }
    ~TDisplayCheck() {
        qInstallMessageHandler(FPrevious);
        for (const std::string& line : HeldLines()) {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
        HeldLines().clear();
    }
    TDisplayCheck(const TDisplayCheck&) = delete;
    TDisplayCheck& operator=(const TDisplayCheck&) = delete;

private:
    static std::vector<std::string>& HeldLines() {
        static std::vector<std::string> lines;
        return lines;
    }

    static const char* EnvironmentText(const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0' ? value : "unset";
    }

    // A Wayland session without Qt's Wayland plugin: the display is there, the plugin not.
    static bool WaylandPluginMissing() {
        if (std::getenv("WAYLAND_DISPLAY") == nullptr) {
            return false;
        }
        const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms");
        return platforms.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty();
    }

    static void Hold(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (type != QtFatalMsg) {
            HeldLines().push_back(qFormatLogMessage(type, context, message).toStdString());
            return;
        }
        std::fprintf(stderr,
                     "tessaro: cannot open a display (DISPLAY %s, WAYLAND_DISPLAY %s): %s\n",
                     EnvironmentText("DISPLAY"), EnvironmentText("WAYLAND_DISPLAY"),
                     WaylandPluginMissing()
                         ? "Qt's Wayland platform plugin is missing: install the package "
                           "qt6-wayland, or start Tessaro with QT_QPA_PLATFORM=xcb to use "
                           "XWayland meanwhile"
                         : "start Tessaro in a desktop session");
        std::_Exit(1);
    }

    QtMessageHandler FPrevious = nullptr;
};

// The window icon is read once the main window has been shown, so the window does not wait
// for it: one image, which the desktop scales to the size it shows.
void SetApplicationIconLater() {
    QTimer::singleShot(0, [] {
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/64x64/org.tessaro.Tessaro.png")));
    });
}

// The main window and the wizard flow beside it live from here to the end of the event loop;
// the dialogs are made as the operator first opens them. They stand over the main window
// and talk to its session; the panel opens two of them.
void RunApplication(toolkit::TQtPrompts& prompts) {
    platform::TLinuxSerialApi serial;
    platform::TLinuxUsbApi usb;
    platform::TLinuxPortSources portSources;
    const session::TScaleJournal scaleJournal(session::DefaultJournalPath());
    app::TMainForm mainForm(app::TPlatform{serial, usb, portSources, prompts});
    mainForm.Session().ScaleSave().UseJournal({&scaleJournal, session::jsWindow});
    prompts.SetMainWindow(&mainForm);
    dialogs::TWizardFlow wizardFlow(
        {mainForm, mainForm.Session(), prompts,
         [&mainForm](const std::string& line) { mainForm.AddLog(line); }, app::FixedPitchFont,
         app::MoveToDesignPosition});
    mainForm.SetDialogs({[&wizardFlow] { return static_cast<QDialog*>(wizardFlow.AboutForm()); },
                         [&wizardFlow] { return static_cast<QDialog*>(wizardFlow.ScaleForm()); }});
    app::KeepFramesOnScreen(*qApp);
    mainForm.show();
    SetApplicationIconLater();
    QApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    if (const std::optional<int> exitCode = AnswerCommandLine(argc, argv)) {
        return *exitCode;
    }
    toolkit::BlockTerminationSignals();
    std::optional<TDisplayCheck> displayCheck(std::in_place);
    QApplication application(argc, argv);
    displayCheck.reset();
    const toolkit::TTerminationSignals endOnSignal("tessaro");
    // The desktop knows the window by this name (WM_CLASS "tessaro", "Tessaro") and by its
    // entry's file name; message boxes carry their own caption.
    QApplication::setApplicationName(QStringLiteral("Tessaro"));
    QApplication::setDesktopFileName(QStringLiteral("org.tessaro.Tessaro"));
    app::LoadCaptionFace();
    toolkit::TQtPrompts prompts;
    toolkit::RunGuarded(prompts, [&prompts] { RunApplication(prompts); });
    return 0;
}
