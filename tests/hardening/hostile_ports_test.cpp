// SPDX-License-Identifier: GPL-3.0-or-later
// Whatever the operator types into the port list, Tessaro opens nothing but the ports of
// its port table, ends with no port open and says in the log (or an error box) why a text
// named nothing it could use. Watched from outside: the kernel reports every open of the
// two virtual ports and of bait files placed where a typed path would lead.

#include "app/main_form.h"
#include "platform/linux/linux_port_sources.h"
#include "platform/linux/linux_serial_api.h"
#include "platform/linux/linux_usb_api.h"
#include "platform/linux/port_table.h"
#include "tests/hardening/hardening_support.h"
#include "tests/platform/platform_test_support.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hardening::test {

namespace {

namespace fs = std::filesystem;
using platform::test::TPtyPair;
using platform::test::TScopedRuntimeDir;
using platform::test::TTempDir;

// Tells which watched files were opened since it last looked.
class TOpenWatch {
public:
    TOpenWatch() : FInotify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~TOpenWatch() { ::close(FInotify); }
    TOpenWatch(const TOpenWatch&) = delete;
    TOpenWatch& operator=(const TOpenWatch&) = delete;

    // Opens of `path` (or, for a folder, of anything in it) are reported as `label`.
    void Watch(const fs::path& path, const std::string& label) {
        const int watch = ::inotify_add_watch(FInotify, path.c_str(), IN_OPEN);
        ASSERT_GE(watch, 0) << path;
        FLabels[watch] = label;
    }

    std::vector<std::string> TakeOpens() {
        std::vector<std::string> opened;
        alignas(inotify_event) char buffer[4096];
        ssize_t length = 0;
        while ((length = ::read(FInotify, buffer, sizeof buffer)) > 0) {
            for (char* at = buffer; at < buffer + length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                opened.push_back(FLabels[event->wd] +
                                 (event->len > 0 ? std::string("/") + event->name : ""));
                at += sizeof(inotify_event) + event->len;
            }
        }
        return opened;
    }

private:
    int FInotify;
    std::map<int, std::string> FLabels;
};

// Runs the test in another working directory, so a typed relative path meets bait there.
class TScopedWorkingDir {
public:
    explicit TScopedWorkingDir(const fs::path& dir) : FFormer(fs::current_path()) {
        fs::current_path(dir);
    }
    ~TScopedWorkingDir() { fs::current_path(FFormer); }

private:
    fs::path FFormer;
};

constexpr const char* kComPort = "COM7";
constexpr const char* kUsbPort = "USB0";
constexpr const char* kComPortLabel = "the COM7 device";
constexpr const char* kUsbPortLabel = "the USB0 device";

// The real Linux platform over a device map of its own with COM7 and USB0 (unless no USB
// cutter is attached: the serial link then carries nothing), and no hardware ports.
class TRealPortsBench {
public:
    enum TUsbCutter { ucAbsent, ucAttached };

    explicit TRealPortsBench(TUsbCutter usbCutter = ucAttached) {
        fs::create_directories(FSystem.Path() / "class" / "tty");
        fs::create_directories(FSystem.Path() / "dev");
        FRuntime.Register(kComPort, FComDevice.SlavePath());
        if (usbCutter == ucAttached) {
            FRuntime.Register(kUsbPort, FUsbDevice.SlavePath());
        }
    }

    platform::TPortTable Table() const {
        platform::TPortTableRoots roots;
        roots.SysClassTty = FSystem.Path() / "class" / "tty";
        roots.DevDir = FSystem.Path() / "dev";
        return platform::TPortTable(roots);
    }

    TScopedRuntimeDir FRuntime;
    TTempDir FSystem;
    TPtyPair FComDevice;
    TPtyPair FUsbDevice;
};

// One Tessaro: the window bench over the real serial and USB operations.
class TTessaro : public testsupport::TWindowBench {
public:
    explicit TTessaro(const TRealPortsBench& bench)
        : FSerial(bench.Table()), FUsb(bench.Table()), FSources(bench.Table()) {
        BuildOver(FSerial, FUsb, FSources);
    }
    ~TTessaro() override { Close(); }

    // The text replaces the field's as one edit of the operator; the check runs.
    void Type(const std::string& text) { testsupport::Paste(Form().ComboBox1->lineEdit(), text); }

private:
    platform::TLinuxSerialApi FSerial;
    platform::TLinuxUsbApi FUsb;
    platform::TLinuxPortSources FSources;
};

class HostilePortText : public testing::Test {
protected:
    HostilePortText() {
        fs::create_symlink(FBench.FComDevice.SlavePath(), FBait.Path() / "COM9");
        fs::create_symlink(FBench.FUsbDevice.SlavePath(), FBait.Path() / "USB1");
        std::ofstream(FBait.Path() / "\\\\.\\COM8") << "bait";
        ::mkfifo((FBait.Path() / "COM5").c_str(), 0600);
        FWatch.Watch(FBench.FComDevice.SlavePath(), kComPortLabel);
        FWatch.Watch(FBench.FUsbDevice.SlavePath(), kUsbPortLabel);
        FWatch.Watch(FBait.Path(), "bait");
    }

    // Types `text` and checks what was opened, what is left open and what was said.
    void ExpectHandledSafely(const std::string& text);

    TRealPortsBench FBench;
    TTempDir FBait;
    TScopedWorkingDir FWorkingDir{FBait.Path()};
    TOpenWatch FWatch;
    TTessaro FTessaro{FBench};
};

// A USB link is USB0 to USB3 and nothing more.
bool NamesUsbLink(const std::string& portText) {
    return portText.size() == 4 && portText.starts_with("USB") && portText[3] >= '0' &&
           portText[3] <= '3';
}

// What the port list may open for a text, by the rules the operator is told: a COM name
// of the table, or the USB device the name numbers.
std::vector<std::string> AllowedOpens(const std::string& portText) {
    if (portText == kComPort) {
        return {kComPortLabel};
    }
    if (NamesUsbLink(portText) && portText[3] == '0') {
        return {kUsbPortLabel};
    }
    return {};
}

void HostilePortText::ExpectHandledSafely(const std::string& text) {
    app::TMainForm& form = FTessaro.Form();
    const std::size_t promptsBefore = FTessaro.Prompts.Shown.size();
    const std::string logBefore = form.Memo1->toPlainText().toStdString();
    FTessaro.Type(text);
    // The field may refuse some characters or cut the text short: the check saw this one.
    const std::string portText = form.PortText();
    SCOPED_TRACE(testing::PrintToString(portText.substr(0, 60)));

    EXPECT_EQ(FWatch.TakeOpens(), AllowedOpens(portText));
    EXPECT_FALSE(testsupport::TSessionTestView(form.Session()).Comm1().Enabled());
    EXPECT_TRUE(testsupport::TSessionTestView(form.Session()).UsbHandle() == 0 ||
                testsupport::TSessionTestView(form.Session()).UsbHandle() == -1)
        << testsupport::TSessionTestView(form.Session()).UsbHandle();

    const std::string said = form.Memo1->toPlainText().toStdString().substr(logBefore.size());
    const bool prompted = FTessaro.Prompts.Shown.size() > promptsBefore;
    const session::TLink* link = testsupport::TSessionTestView(form.Session()).ChosenLink();
    if (link == nullptr) {
        EXPECT_TRUE(said.empty()) << said.substr(0, 200);
        EXPECT_FALSE(prompted);
        return;
    }
    switch (link->Kind()) {
    case session::pkSerial:
        EXPECT_NE(said.find(portText == kComPort ? " Check OK" : " Check Fail"), std::string::npos)
            << said.substr(0, 200);
        break;
    case session::pkUsb:
        if (!NamesUsbLink(portText)) {
            ASSERT_TRUE(prompted) << "a USB text that names no USB link was not refused";
            EXPECT_FALSE(FTessaro.Prompts.Shown.back().Text.empty());
        } else {
            EXPECT_NE(said.find(AllowedOpens(portText).empty() ? session::kDeviceNotFoundText
                                                               : " Check OK"),
                      std::string::npos)
                << said.substr(0, 200);
        }
        break;
    }
}

TEST_F(HostilePortText, OpensOnlyTheTablesPortsAndExplainsEveryRefusal) {
    const std::string comDevice = FBench.FComDevice.SlavePath().string();
    const std::vector<std::string> texts = {"COM7",
                                            "COM",
                                            "COM0",
                                            "COM07",
                                            "COM256",
                                            "COM99999999999999999999999999",
                                            "COM-1",
                                            "COM+7",
                                            "COM 7",
                                            " COM7",
                                            "COM7 ",
                                            "COM7\t",
                                            "COM7\n",
                                            "COM7\r",
                                            std::string("COM7\0x", 6),
                                            "COM9",
                                            "COM8",
                                            "COM5",
                                            "\\\\.\\COM7",
                                            "\\\\.\\COM9",
                                            "..\\COM7",
                                            "../COM7",
                                            "COM7/..",
                                            "COM7/../COM7",
                                            "..",
                                            ".",
                                            "/",
                                            "COM/../../../../etc/passwd",
                                            comDevice,
                                            comDevice + "COM",
                                            "COM" + comDevice,
                                            "\x01\x02COM7",
                                            "COM\x1B[2J",
                                            "com7",
                                            "\xEF\xBC\xA3\xEF\xBC\xAF\xEF\xBC\xAD\xEF\xBC\x97",
                                            std::string(5000, 'C') + "COM7",
                                            "COM" + std::string(100000, '7'),
                                            std::string(70000, 'x'),
                                            "USB",
                                            "US",
                                            "USB0",
                                            "USB1",
                                            "USB9",
                                            "USB-",
                                            "USB/",
                                            "USB\x7F",
                                            "USB\xFF",
                                            "xUSB0",
                                            "USB00",
                                            "USB0/../USB0",
                                            "USB\xD9\xA0",
                                            "USBCOM7",
                                            "COMUSB0",
                                            "USB0" + std::string(40000, '0'),
                                            ""};
    for (const std::string& text : texts) {
        ExpectHandledSafely(text);
    }
}

TEST_F(HostilePortText, TypingKeyByKeyChecksEachTextAndOpensOnlyTheWholeName) {
    app::TMainForm& form = FTessaro.Form();
    form.ComboBox1->lineEdit()->clear();
    QTest::keyClicks(form.ComboBox1->lineEdit(), "COM7");
    EXPECT_EQ(FWatch.TakeOpens(), std::vector<std::string>{kComPortLabel});
    const std::vector<std::string> lines = FTessaro.Log();
    ASSERT_GE(lines.size(), 2U);
    EXPECT_EQ(lines[lines.size() - 2], "COM Check Fail");
    EXPECT_EQ(lines.back(), "COM7 Check OK");
    EXPECT_FALSE(testsupport::TSessionTestView(form.Session()).Comm1().Enabled());
}

TEST(HostileExchange, SendsNothingAndEndsWithTheSilenceBox) {
    TRealPortsBench bench(TRealPortsBench::ucAbsent);
    TTempDir bait;
    fs::create_symlink(bench.FComDevice.SlavePath(), bait.Path() / "COM9");
    const TScopedWorkingDir workingDir(bait.Path());
    TTessaro tessaro(bench);
    TOpenWatch watch;
    watch.Watch(bench.FComDevice.SlavePath(), kComPortLabel);
    watch.Watch(bait.Path(), "bait");
    app::TMainForm& form = tessaro.Form();
    for (const char* text : {"COM9", "../COM7", "USB1", "COM7 "}) {
        tessaro.Type(text);
        const std::size_t promptsBefore = tessaro.Prompts.Shown.size();
        form.BnPollSizeClick();
        tessaro.Tick(11);
        EXPECT_TRUE(watch.TakeOpens().empty()) << text;
        EXPECT_EQ(testsupport::TSessionTestView(form.Session()).Asked(protocol::ccPollSize), 0)
            << text;
        EXPECT_FALSE(testsupport::TSessionTestView(form.Session()).Comm1().Enabled()) << text;
        ASSERT_EQ(tessaro.Prompts.Shown.size(), promptsBefore + 1) << text;
        EXPECT_EQ(tessaro.Prompts.Shown.back().Text, session::kDeviceNotFoundText);
    }
    EXPECT_TRUE(bench.FComDevice.Receive(1, std::chrono::milliseconds(0)).empty());
}

// How a device map is made untrustworthy; each is ignored as a whole.
struct TUntrustedMap {
    const char* Name;
    void (*Spoil)(const fs::path& map);
};

const TUntrustedMap kUntrustedMaps[] = {
    {"OwnedByAnotherUser",
     [](const fs::path& map) { ASSERT_EQ(::chown(map.c_str(), 65534, 65534), 0); }},
    {"WritableByGroup", [](const fs::path& map) { ::chmod(map.c_str(), 0770); }},
    {"WritableByOthers", [](const fs::path& map) { ::chmod(map.c_str(), 0703); }},
    {"ParentWritableByOthers",
     [](const fs::path& map) { ::chmod(map.parent_path().c_str(), 0777); }},
};

class UntrustedDeviceMap : public testing::TestWithParam<TUntrustedMap> {
protected:
    TRealPortsBench FBench;
    TOpenWatch FWatch;
};

TEST_P(UntrustedDeviceMap, IsIgnoredByThePortListAndByEveryOpen) {
    GetParam().Spoil(FBench.FRuntime.MapDirectory());
    FWatch.Watch(FBench.FComDevice.SlavePath(), kComPortLabel);
    FWatch.Watch(FBench.FUsbDevice.SlavePath(), kUsbPortLabel);
    TTessaro tessaro(FBench);
    EXPECT_EQ(tessaro.Form().ComboBox1->count(), 0);
    tessaro.Type(kComPort);
    tessaro.Type(kUsbPort);
    EXPECT_TRUE(FWatch.TakeOpens().empty());
    const std::vector<std::string> lines = tessaro.Log();
    ASSERT_GE(lines.size(), 2U);
    EXPECT_EQ(lines[lines.size() - 2], "COM7 Check Fail");
    EXPECT_EQ(lines.back(), session::kDeviceNotFoundText);
}

INSTANTIATE_TEST_SUITE_P(Spoiled, UntrustedDeviceMap, testing::ValuesIn(kUntrustedMaps),
                         [](const auto& info) { return std::string(info.param.Name); });

// Map links to what is no character device: never listed, never opened.
TEST(DeviceMapLinks, ToSomethingOtherThanACharacterDeviceAreRefusedAndNeverOpened) {
    TRealPortsBench bench;
    TTempDir targets;
    const fs::path fifo = targets.Path() / "fifo";
    ::mkfifo(fifo.c_str(), 0600);
    std::ofstream(targets.Path() / "file") << "bait";
    fs::create_directory(targets.Path() / "folder");
    const std::map<std::string, fs::path> links = {{"COM3", fifo},
                                                   {"COM4", targets.Path() / "file"},
                                                   {"COM5", targets.Path() / "folder"},
                                                   {"COM6", targets.Path() / "missing"},
                                                   {"USB1", fifo},
                                                   {"USB2", targets.Path() / "file"}};
    for (const auto& [name, target] : links) {
        bench.FRuntime.Register(name, target);
    }
    TOpenWatch watch;
    watch.Watch(targets.Path(), "target");
    TTessaro tessaro(bench);
    std::vector<std::string> listed;
    for (int item = 0; item < tessaro.Form().ComboBox1->count(); ++item) {
        listed.push_back(tessaro.Form().ComboBox1->itemText(item).toStdString());
    }
    EXPECT_EQ(listed, (std::vector<std::string>{kComPort, kUsbPort}));
    for (const auto& [name, target] : links) {
        tessaro.Type(name);
        const std::vector<std::string> lines = tessaro.Log();
        EXPECT_EQ(lines.back(), name.starts_with("COM")
                                    ? name + " Check Fail"
                                    : std::string(session::kDeviceNotFoundText));
    }
    EXPECT_TRUE(watch.TakeOpens().empty());
}

TEST(SecondTessaro, FindsThePortBusyAndSaysSoWhileTheFirstKeepsWorking) {
    TRealPortsBench bench(TRealPortsBench::ucAbsent);
    TTessaro first(bench);
    TTessaro second(bench);
    first.Form().ComboBox1->setEditText(kComPort);
    first.Form().BnLoopDetectClick();
    ASSERT_TRUE(testsupport::TSessionTestView(first.Session()).Comm1().Enabled());
    EXPECT_EQ(bench.FComDevice.Receive(5), "\x1B.R1:");

    const std::string busy =
        bench.FComDevice.SlavePath().string() + " is in use by another program";
    second.Type(kComPort);
    std::vector<std::string> lines = second.Log();
    ASSERT_GE(lines.size(), 2U);
    EXPECT_EQ(lines[lines.size() - 2], "COM7 Check Fail");
    EXPECT_EQ(lines.back(), busy);

    second.Form().BnPollSizeClick();
    EXPECT_EQ(second.Log().back(), busy);
    second.Tick(11);
    EXPECT_EQ(second.Prompts.TextsOf(TRecordingPrompts::pkMessageBox),
              std::vector<std::string>{std::string(session::kDeviceNotFoundText) + "\n" + busy});
    EXPECT_TRUE(testsupport::TSessionTestView(first.Session()).Comm1().Enabled())
        << "the second took the first one's port";
    EXPECT_TRUE(bench.FComDevice.Receive(3, std::chrono::milliseconds(100)).empty())
        << "the second one's command reached the cutter";

    first.Form().BnDisDetectClick();
    second.Type(kComPort);
    EXPECT_EQ(second.Log().back(), "COM7 Check OK");
}

} // namespace

} // namespace hardening::test
