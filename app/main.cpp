// The program entry: chooses the Linux implementations of the platform services, creates
// the main window and then the dialogs, and runs the event loop until the main window
// closes. An error at start-up is shown in the standard error box; the exit code is 0.

#include "app/main_form.h"
#include "dialogs/forms.h"
#include "platform/linux/linux_port_sources.h"
#include "platform/linux/linux_serial_api.h"
#include "platform/linux/linux_usb_api.h"
#include "toolkit/event_guard.h"
#include "toolkit/qt_prompts.h"

#include <QApplication>
#include <QIcon>

namespace {

QIcon ApplicationIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/%1x%1/org.tessaro.Tessaro.png").arg(size));
    }
    return icon;
}

// The main window and the dialogs it owns live from here to the end of the event loop.
void RunApplication(toolkit::TQtPrompts& prompts) {
    platform::TLinuxSerialApi serial;
    platform::TLinuxUsbApi usb;
    platform::TLinuxPortSources portSources;
    app::TMainForm mainForm(app::TPlatform{serial, usb, portSources, prompts});
    app::MainForm = &mainForm;
    prompts.SetMainWindow(&mainForm);
    struct TForgetMainForm {
        ~TForgetMainForm() { app::MainForm = nullptr; }
    } forgetMainForm;
    dialogs::CreateForms(mainForm);
    mainForm.show();
    QApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // The plain message boxes take the application's name as their caption.
    QApplication::setApplicationName(QString::fromUtf8(toolkit::kApplicationTitle));
    QApplication::setDesktopFileName(QStringLiteral("org.tessaro.Tessaro"));
    QApplication::setWindowIcon(ApplicationIcon());
    toolkit::TQtPrompts prompts;
    toolkit::RunGuarded(prompts, [&prompts] { RunApplication(prompts); });
    return 0;
}
