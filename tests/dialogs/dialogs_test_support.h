// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wizard and About dialogs on the offscreen platform, driven by clicks and keys
// against the in-process virtual cutter on "COM1". The main window's timer is stopped:
// tests tick the poll cycle themselves.

#include "app/main_form.h"
#include "link/usb_api.h"
#include "sim/cutter_model.h"
#include "sim/in_process_serial.h"
#include "tests/support/one_port_sources.h"
#include "tests/support/recording_prompts.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QDialog;
class QPushButton;
class QLineEdit;

namespace dialogs::test {

using testsupport::TRecordingPrompts;
using TPrompt = TRecordingPrompts::TShown;

// A USB link with one cutter at index 0 while attached, none otherwise.
class TSwitchableUsb : public devlink::TUsbApi {
public:
    bool Attached = false;
    std::int32_t UsbOpenDevice(std::int32_t index) override {
        return Attached && index == 0 ? 7 : -1;
    }
    std::int32_t UsbCloseDevice(std::int32_t) override { return 0; }
    std::int32_t UsbSend(std::int32_t, const char*, std::int32_t) override { return -1; }
    std::int32_t UsbReceiveCheck(std::int32_t, std::uint32_t*) override { return -1; }
    std::int32_t UsbReceive(std::int32_t, char*, std::int32_t, std::uint32_t*) override {
        return -1;
    }
};

// The in-process port with every byte the host writes recorded.
class TRecordingSerial : public sim::TInProcessSerial {
public:
    using sim::TInProcessSerial::TInProcessSerial;
    devlink::TIoStatus WriteFile(devlink::THandle handle, devlink::TTransferRecord& record,
                                 const char* data, std::uint32_t count,
                                 std::uint32_t& transferred) override;
    std::string Written() const;
    void ForgetWritten();

private:
    mutable std::mutex FMutex;
    std::string FWritten;
};

class TDialogsTest : public ::testing::Test {
protected:
    explicit TDialogsTest(sim::TCutterConfig config = {});
    ~TDialogsTest() override;

    // Delivers the cutter's pending reply and waits until the main window has read it.
    void DeliverReply();
    // Runs the poll cycle `count` ticks.
    void Tick(int count);
    // Delivers the reply and ticks until the poll cycle has decoded it.
    void AnswerQuery();

    // Runs `open`, which shows `dialog` modally, and `action` inside its modal loop; then
    // closes the dialog if `action` left it open. Returns whether it was left open.
    bool InsideModal(QDialog* dialog, const std::function<void()>& open,
                     const std::function<void()>& action);
    // Runs `open`, failing (and closing it) if it shows any modal dialog.
    void ExpectNoModal(const std::function<void()>& open);

    // Replaces the field's text as the operator types it.
    static void TypeInto(QLineEdit* edit, const std::string& text);
    static void Click(QPushButton* button);

    // Runs the wizard up to the password dialog: test cut of the current sizes, the
    // measurement, Yes and Save.
    void RunUpToPassword(const std::string& measuredX, const std::string& measuredY);
    void OpenScalingAndConfirm();

    int argc = 1;
    char programName[8] = "dialogs";
    char* argv[1] = {programName};
    QApplication FApplication{argc, argv};
    sim::TVirtualCutter FCutter;
    TRecordingSerial FSerial{FCutter, "COM1"};
    TSwitchableUsb FUsb;
    testsupport::TOnePortSources FPortSources;
    TRecordingPrompts FPrompts;
    std::unique_ptr<app::TMainForm> FMainForm;
};

} // namespace dialogs::test
