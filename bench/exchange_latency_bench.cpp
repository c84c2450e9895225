// SPDX-License-Identifier: GPL-3.0-or-later
// Exchange latency: from the Poll Size key press (Alt+P) to both size labels painted with
// the cutter's answer, with the real main window and the Linux serial code talking to
// tessaro-vcutter over its pseudo-terminal. Printed beside the protocol floor: the
// cutter's delay, the reply's time on a 9600 bit/s line, and the ten ticks after the
// first one with data that a reply is left to settle.
//
// Usage: exchange_latency_bench [--rounds N] [--delay MS] [--vcutter PATH]
// Run it in an X server (xvfb-run) or with QT_QPA_PLATFORM=offscreen.

#include "app/main_form.h"
#include "bench/bench_process.h"
#include "platform/linux/linux_port_sources.h"
#include "platform/linux/linux_serial_api.h"
#include "platform/linux/linux_usb_api.h"
#include "tests/support/session_test_view.h"
#include "toolkit/prompts.h"
#include "toolkit/timer.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

constexpr int kLineBitsPerSecond = 9600;
constexpr int kBitsPerByte = 10; // start bit, 8 data bits, stop bit
constexpr int kSettleTicksAfterFirstData = 10;
constexpr int kPortNumber = 7;
constexpr double kGoalRatio = 1.05;
constexpr auto kCutterStartTimeout = std::chrono::seconds(10);
constexpr int kExchangeTimeoutMs = 5000;
constexpr int kIdleBetweenRoundsMs = 300;

struct TOptions {
    int Rounds = 20;
    int DelayMs = 10;
    std::string CutterProgram = TESSARO_VCUTTER_PATH;
};

std::optional<TOptions> ParseOptions(int argc, char** argv) {
    TOptions options;
    for (int index = 1; index + 1 < argc; index += 2) {
        const std::string name = argv[index];
        const char* value = argv[index + 1];
        if (name == "--rounds") {
            options.Rounds = std::max(1, std::atoi(value));
        } else if (name == "--delay") {
            options.DelayMs = std::max(0, std::atoi(value));
        } else if (name == "--vcutter") {
            options.CutterProgram = value;
        } else {
            return std::nullopt;
        }
    }
    return argc % 2 == 1 ? std::optional(options) : std::nullopt;
}

// Boxes cannot be answered here: each one is counted and its text kept.
class TCountingPrompts : public toolkit::TPrompts {
public:
    void MessageBox(const std::string& text) override { Shown.push_back(text); }
    void ShowMessage(const std::string& text) override { Shown.push_back(text); }
    void ShowException(const std::string& message) override { Shown.push_back(message); }
    std::vector<std::string> Shown;
};

double MillisecondsBetween(TClock::time_point from, TClock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// When, after the key press, the command was written, the first reply bytes were handed
// to the window, the reply was decoded, and each size label first painted a text.
class TExchangeWatch : public QObject {
public:
    explicit TExchangeWatch(app::TMainForm& form) : FForm(form) {
        form.LaPollSizeX->installEventFilter(this);
        form.LaPollSizeY->installEventFilter(this);
        connect(&form.Session(), &session::TCutterSession::SettingsChanged, this, [this] {
            if (!Decoded) {
                Decoded = TClock::now();
                ReplyBytes = testsupport::TSessionTestView(FForm.Session()).ReplyText().size();
            }
        });
        // The log line of a sent command follows the write at once.
        connect(form.Memo1, &QPlainTextEdit::textChanged, this, [this] {
            if (!Sent && FForm.Memo1->document()->lastBlock().text().startsWith(kSentPrefix)) {
                Sent = TClock::now();
            }
        });
        const devlink::TCommRxCharEvent received =
            testsupport::TSessionTestView(form.Session()).Comm1().OnRxChar;
        testsupport::TSessionTestView(form.Session()).Comm1().OnRxChar =
            [this, received](void* sender, std::uint32_t count) {
                if (!FirstByte) {
                    FirstByte = TClock::now();
                }
                received(sender, count);
            };
    }

    void Start() {
        Sent.reset();
        FirstByte.reset();
        Decoded.reset();
        PaintedX.reset();
        PaintedY.reset();
        ReplyBytes = 0;
    }
    bool Done() const { return PaintedX && PaintedY; }
    bool Complete() const { return Done() && Sent && FirstByte && Decoded; }

    std::optional<TClock::time_point> Sent;
    std::optional<TClock::time_point> FirstByte;
    std::optional<TClock::time_point> Decoded;
    std::optional<TClock::time_point> PaintedX;
    std::optional<TClock::time_point> PaintedY;
    std::size_t ReplyBytes = 0;
    QEventLoop* Waiting = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            Note(watched, FForm.LaPollSizeX, PaintedX);
            Note(watched, FForm.LaPollSizeY, PaintedY);
            if (Done() && Waiting != nullptr) {
                Waiting->quit();
            }
        }
        return false;
    }

private:
    static constexpr const char* kSentPrefix = "發送命令:";

    static void Note(QObject* watched, QLabel* label, std::optional<TClock::time_point>& when) {
        if (watched == label && !when && !label->text().isEmpty()) {
            when = TClock::now();
        }
    }

    app::TMainForm& FForm;
};

// Milliseconds from the key press.
struct TRound {
    double SentMs = 0;
    double FirstByteMs = 0;
    double DecodedMs = 0;
    double PaintedMs = 0;
};

std::optional<TRound> RunRound(app::TMainForm& form, TExchangeWatch& watch, std::mt19937& random) {
    form.LaPollSizeX->clear();
    form.LaPollSizeY->clear();
    // A random pause, so the key press falls anywhere between two ticks of a running timer.
    std::uniform_int_distribution<int> jitter(0, toolkit::kSystemTimerResolution - 1);
    QTest::qWait(kIdleBetweenRoundsMs + jitter(random));
    watch.Start();
    const TClock::time_point pressed = TClock::now();
    QTest::keyClick(&form, Qt::Key_P, Qt::AltModifier);
    QEventLoop loop;
    watch.Waiting = &loop;
    QTimer::singleShot(kExchangeTimeoutMs, &loop, &QEventLoop::quit);
    if (!watch.Done()) {
        loop.exec();
    }
    watch.Waiting = nullptr;
    if (!watch.Complete()) {
        return std::nullopt;
    }
    return TRound{MillisecondsBetween(pressed, *watch.Sent),
                  MillisecondsBetween(pressed, *watch.FirstByte),
                  MillisecondsBetween(pressed, *watch.Decoded),
                  MillisecondsBetween(pressed, std::max(*watch.PaintedX, *watch.PaintedY))};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double FloorMs(int delayMs, std::size_t replyBytes) {
    const double wireMs =
        1000.0 * static_cast<double>(replyBytes) * kBitsPerByte / kLineBitsPerSecond;
    return delayMs + wireMs + kSettleTicksAfterFirstData * toolkit::kSystemTimerResolution;
}

// The window logs every line to standard error; that goes to a file beside the cutter's
// transcript, and the figures to standard output.
void SendLogTo(const std::filesystem::path& file) {
    const int log = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (log >= 0) {
        dup2(log, STDERR_FILENO);
        close(log);
    }
}

int Run(const TOptions& options, int argc, char** argv) {
    bench::TPrivateDirectory runtime("tessaro-latency-");
    setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    const std::string port = "COM" + std::to_string(kPortNumber);
    bench::TChildProcess cutter({options.CutterProgram, "--com", std::to_string(kPortNumber),
                                 "--delay", std::to_string(options.DelayMs)},
                                runtime.Path() / "cutter.txt");
    if (!bench::WaitForPath(
            runtime.Path() / "tessaro" / "devices" / port,
            std::chrono::duration_cast<std::chrono::milliseconds>(kCutterStartTimeout))) {
        std::printf("tessaro-vcutter did not register %s\n", port.c_str());
        return 1;
    }
    SendLogTo(runtime.Path() / "tessaro.log");

    QApplication application(argc, argv);
    platform::TLinuxSerialApi serial;
    platform::TLinuxUsbApi usb;
    platform::TLinuxPortSources portSources;
    TCountingPrompts prompts;
    app::TMainForm form(app::TPlatform{serial, usb, portSources, prompts});
    form.show();
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form)) {
        std::printf("the main window never became active: Alt+P would go nowhere\n");
        return 1;
    }
    form.ComboBox1->setEditText(QString::fromStdString(port));
    TExchangeWatch watch(form);
    std::mt19937 random(1);

    std::printf("Exchange latency: Poll Size on %s (tessaro-vcutter, delay %d ms, 9600 bit/s)\n",
                port.c_str(), options.DelayMs);
    std::printf("milliseconds from the key press to:\n");
    std::printf("%6s %10s %11s %10s %10s\n", "round", "sent", "first byte", "decoded", "painted");
    RunRound(form, watch, random); // warm-up: first open of the port, first paint of a value
    std::vector<double> sent;
    std::vector<double> firstByte;
    std::vector<double> decoded;
    std::vector<double> painted;
    for (int round = 1; round <= options.Rounds; ++round) {
        const std::optional<TRound> result = RunRound(form, watch, random);
        if (!result) {
            std::printf("%6d %10s\n", round, "no answer");
            continue;
        }
        sent.push_back(result->SentMs);
        firstByte.push_back(result->FirstByteMs);
        decoded.push_back(result->DecodedMs);
        painted.push_back(result->PaintedMs);
        std::printf("%6d %10.1f %11.1f %10.1f %10.1f\n", round, result->SentMs, result->FirstByteMs,
                    result->DecodedMs, result->PaintedMs);
    }
    if (painted.empty()) {
        std::printf("no exchange completed; boxes shown: %zu\n", prompts.Shown.size());
        return 1;
    }
    const double floor = FloorMs(options.DelayMs, watch.ReplyBytes);
    const double measured = Median(painted);
    std::printf("%6s %10.1f %11.1f %10.1f %10.1f\n", "median", Median(sent), Median(firstByte),
                Median(decoded), measured);
    std::vector<double> answer;
    for (std::size_t index = 0; index < sent.size(); ++index) {
        answer.push_back(firstByte[index] - sent[index]);
    }
    std::printf("\n%-44s %8.1f ms  (nominal %d + %.3f)\n", "median, written to first reply byte",
                Median(answer), options.DelayMs, 1000.0 * kBitsPerByte / kLineBitsPerSecond);
    std::printf("%-44s %8.1f ms\n", "median, press to both labels painted", measured);
    std::printf("%-44s %8.1f ms  (%d + %zu bytes x %.3f ms + %d x %d)\n", "protocol floor", floor,
                options.DelayMs, watch.ReplyBytes, 1000.0 * kBitsPerByte / kLineBitsPerSecond,
                kSettleTicksAfterFirstData, toolkit::kSystemTimerResolution);
    std::printf("%-44s %8.3f    (goal <= %.2f: %s)\n", "measured / floor", measured / floor,
                kGoalRatio, measured / floor <= kGoalRatio ? "met" : "MISSED");
    std::printf("%-44s %8zu\n", "rounds completed", painted.size());
    std::printf("%-44s %8zu\n", "message boxes shown", prompts.Shown.size());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::optional<TOptions> options = ParseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr, "Usage: %s [--rounds N] [--delay MS] [--vcutter PATH]\n", argv[0]);
        return 2;
    }
    return Run(*options, argc, argv);
}
