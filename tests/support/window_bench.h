// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The session bench with the main window built over the session: the window's log, panel
// and port list can be read, and message boxes are recorded. A test can run ticks and
// serial events while one is "open", as the event loop does under a real modal box.

#include "app/main_form.h"
#include "tests/support/main_window_probe.h"
#include "tests/support/recording_prompts.h"
#include "tests/support/session_bench.h"

#include <QStringList>

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class TWindowBench : public TSessionBench {
public:
    TWindowBench() = default;
    ~TWindowBench() override;

    // The window over a virtual cutter on COM1 (and on USB0 when asked), its timer stopped.
    app::TMainForm& Build(const TBench& bench = {});
    // The window over the scripted fakes (Serial, Usb, Sources) set up before, its own
    // timer left as the window starts it.
    app::TMainForm& BuildOverFakes();
    // The window over platform operations the test owns; they must outlive the bench's
    // window (Close() ends it early). Its timer is stopped.
    app::TMainForm& BuildOver(devlink::TSerialApi& serial, devlink::TUsbApi& usb,
                              devlink::TPortSources& sources);
    void Close() override;
    app::TMainForm& Form() { return *FForm; }

    QStringList PortItems() const;
    // The log lines the window shows since it was built.
    std::vector<std::string> Log() const override;
    std::vector<std::string> PanelTexts() const;

    TRecordingPrompts Prompts;

protected:
    session::TCutterSession& Open(devlink::TSerialApi& serial, devlink::TUsbApi& usb,
                                  devlink::TPortSources& sources) override;
    void NamePort(const std::string& text) override;
    void CheckPort(const std::string& text) override;

private:
    std::unique_ptr<app::TMainForm> FForm;
};

// The bench as a test fixture.
class TWindowTest : public ::testing::Test, public TWindowBench {};

} // namespace testsupport
