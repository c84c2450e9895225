#include "tests/app/poll_harness.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QThread>

#include <algorithm>
#include <iterator>

namespace app::polltest {

namespace {

// One application object for the whole test program, as the widgets need.
class TQtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "poll_tests";
        static char* argv[] = {name, nullptr};
        FApplication = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { FApplication.reset(); }

private:
    std::unique_ptr<QApplication> FApplication;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

// Bounds every wait for the event thread: a hand-off takes microseconds, so running out
// means the bytes were never handed over.
constexpr int kEventLoopRounds = 2000;

} // namespace

std::vector<std::string> TRecordingPrompts::TextsOf(TKind kind) const {
    std::vector<std::string> texts;
    for (const TShown& shown : Shown) {
        if (shown.Kind == kind) {
            texts.push_back(shown.Text);
        }
    }
    return texts;
}

void TRecordingPrompts::Show(TKind kind, const std::string& text) {
    Shown.push_back({kind, text});
    if (WhileOpen && FOpenBoxes == 0) {
        ++FOpenBoxes;
        WhileOpen();
        --FOpenBoxes;
    }
}

bool TOnePortSources::GetVersionEx(devlink::TOsVersionInfo& info) {
    info = {5, 1, 2600, devlink::kVerPlatformWin32Nt};
    return true;
}

bool TOnePortSources::EnumPorts(std::vector<std::string>& portNames) {
    portNames = {FPortName + ":"};
    return true;
}

bool TOnePortSources::ReadSerialCommMap(std::vector<devlink::TSerialCommValue>& values) {
    values = {{"\\Device\\Serial0", FPortName, "/dev/ttyS0"}};
    return true;
}

std::string TOnePortSources::DevicePathOf(const std::string& portName) {
    return portName == FPortName ? "/dev/ttyS0" : std::string();
}

std::string TOnePortSources::DeviceGroupOf(const std::string& /*portName*/) {
    return "dialout";
}

TPollTest::~TPollTest() = default;

TMainForm& TPollTest::Build(const TBench& bench) {
    FCutter = std::make_unique<sim::TVirtualCutter>(bench.Cutter);
    FCutterSerial = std::make_unique<sim::TInProcessSerial>(*FCutter, kSerialPort, bench.Faults);
    FUsb.AddDevice(0, *FCutter, bench.Faults);
    FUsb.SetPresent(0, bench.UsbCutterPlugged);
    devlink::TSerialApi& serial =
        bench.ScriptedSerial ? static_cast<devlink::TSerialApi&>(FScriptedSerial) : *FCutterSerial;
    FForm = std::make_unique<TMainForm>(TPlatform{serial, FUsb, FSources, Prompts});
    // The test is the clock.
    FForm->Timer1.SetEnabled(false);
    FForm->ComboBox1->setEditText(QString::fromStdString(bench.PortText));
    FUsbChosen = bench.PortText.find("USB") != std::string::npos;
    return *FForm;
}

void TPollTest::Tick(int count) {
    for (int i = 0; i < count; ++i) {
        FForm->Timer1Timer();
    }
}

sim::TInProcessLine& TPollTest::ChosenLine() {
    return FUsbChosen ? FUsb.Line(0) : FCutterSerial->Line();
}

void TPollTest::Deliver(std::size_t count) {
    const std::size_t arrived = ChosenLine().DeliverNext(count);
    if (!FUsbChosen && FForm->Comm1.Enabled()) {
        AwaitReplyText(FForm->FReplyText.size() + arrived);
    }
}

void TPollTest::DeliverAll() {
    Deliver(PendingReplyBytes());
}

std::size_t TPollTest::PendingReplyBytes() {
    return ChosenLine().Pending();
}

void TPollTest::ArriveOnSerial(const std::string& bytes) {
    const std::size_t expected = FForm->FReplyText.size() + bytes.size();
    FScriptedSerial.Receive(bytes);
    FScriptedSerial.RaiseEvents(devlink::kEvRxChar);
    AwaitReplyText(expected);
}

// Lets the event thread hand its event to the window and the window read the bytes.
void TPollTest::AwaitReplyText(std::size_t size) {
    for (int round = 0; round < kEventLoopRounds && FForm->FReplyText.size() < size; ++round) {
        QCoreApplication::processEvents();
        if (FForm->FReplyText.size() < size) {
            QThread::usleep(200);
        }
    }
}

void TPollTest::ChoosePort(const std::string& text) {
    FForm->ComboBox1->setEditText(QString::fromStdString(text));
    FUsbChosen = text.find("USB") != std::string::npos;
    FForm->ComboBox1Change();
}

std::vector<std::string> TPollTest::Log() const {
    std::vector<std::string> lines;
    const QTextDocument* log = FForm->Memo1->document();
    for (QTextBlock block = log->begin().next(); block.isValid(); block = block.next()) {
        lines.push_back(block.text().toStdString());
    }
    return lines;
}

int TPollTest::CountLog(const std::string& line) const {
    const std::vector<std::string> lines = Log();
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

int TPollTest::CountLogStartingWith(const std::string& prefix) const {
    const std::vector<std::string> lines = Log();
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&prefix](const auto& line) {
        return line.rfind(prefix, 0) == 0;
    }));
}

std::vector<std::string> TPollTest::LogFromLast(const std::string& prefix) const {
    const std::vector<std::string> lines = Log();
    const auto last = std::find_if(lines.rbegin(), lines.rend(), [&prefix](const auto& line) {
        return line.rfind(prefix, 0) == 0;
    });
    std::vector<std::string> tail;
    if (last != lines.rend()) {
        std::copy_if(std::prev(last.base()), lines.end(), std::back_inserter(tail),
                     [](const auto& line) { return !line.empty(); });
    }
    return tail;
}

std::vector<std::string> TPollTest::CutterCommands() {
    std::vector<std::string> commands;
    for (const std::string& entry : ChosenLine().Transcript()) {
        if (entry.rfind("< ", 0) == 0) {
            commands.push_back(entry.substr(2));
        }
    }
    return commands;
}

std::vector<std::string> PanelTexts(const TMainForm& form) {
    std::vector<std::string> texts;
    for (const QLabel* label :
         {form.LaPollSizeX, form.LaPollSizeY, form.LaForce, form.LaOffset, form.LaMediaWeight,
          form.LaQuality, form.LaSmooth, form.LaAutoUnroll, form.LaMediaType}) {
        texts.push_back(label->text().toStdString());
    }
    return texts;
}

} // namespace app::polltest
