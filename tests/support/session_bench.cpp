// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/session_bench.h"

#include "tests/support/replug_serial.h"

#include <QCoreApplication>
#include <QThread>
#include <QtCore/qtestsupport_core.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <mutex>

namespace testsupport {

namespace {

// A hand-off from the event thread takes microseconds, so running out of rounds means the
// bytes were never handed over.
constexpr int kEventLoopRounds = 2000;
// Bounds the wait for the first real tick to park the timer; a sanitizer build on a busy
// machine may need far longer than the 16 ms of one tick.
constexpr int kParkWaitMs = 10000;

} // namespace

// The cutter's serial cables, with every byte the host writes recorded.
class TCutterCable : public TReplugSerial {
public:
    using TReplugSerial::TReplugSerial;

    devlink::TIoStatus WriteFile(devlink::THandle handle, devlink::TTransferRecord& record,
                                 const char* data, std::uint32_t count,
                                 std::uint32_t& transferred) override {
        const devlink::TIoStatus status =
            TReplugSerial::WriteFile(handle, record, data, count, transferred);
        // A write done at once took what it reports; one pending may still take all.
        if (status != devlink::TIoStatus::ioFailed) {
            const std::lock_guard lock(FMutex);
            FWritten.append(data, status == devlink::TIoStatus::ioDone ? transferred : count);
        }
        return status;
    }

    std::string Written() const {
        const std::lock_guard lock(FMutex);
        return FWritten;
    }

    void ForgetWritten() {
        const std::lock_guard lock(FMutex);
        FWritten.clear();
    }

private:
    mutable std::mutex FMutex;
    std::string FWritten;
};

TBench OnLink(const std::string& portText, sim::TFaults faults) {
    TBench bench;
    bench.PortText = portText;
    bench.UsbCutterPlugged = NamesUsbPort(portText);
    bench.Faults = faults;
    return bench;
}

sim::TFaults SilentCutter() {
    sim::TFaults faults;
    faults.Silent = true;
    return faults;
}

int CountLines(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

int CountLinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&prefix](const auto& line) {
        return line.starts_with(prefix);
    }));
}

TSessionBench::TSessionBench() = default;

TSessionBench::~TSessionBench() {
    TSessionBench::Close();
}

// The session goes before the links it uses.
void TSessionBench::Close() {
    FOwnSession.reset();
    FSession = nullptr;
}

session::TCutterSession& TSessionBench::Build(const TBench& bench) {
    Close();
    FUsbChosen = NamesUsbPort(bench.PortText);
    FCutter = std::make_unique<sim::TVirtualCutter>(bench.Cutter);
    // A USB cutter attached keeps the serial link from carrying anything, so the cutter
    // fails on the chosen link only.
    FCable = std::make_unique<TCutterCable>(*FCutter, kSerialPort);
    FCable->Plug(FUsbChosen ? sim::TFaults{} : bench.Faults);
    FCutterUsb = std::make_unique<sim::TInProcessUsb>();
    FCutterUsb->AddDevice(0, *FCutter, bench.Faults);
    FCutterUsb->SetPresent(0, bench.UsbCutterPlugged);
    Sources.HoldOnlyComOne();
    devlink::TSerialApi& serial =
        bench.ScriptedSerial ? static_cast<devlink::TSerialApi&>(Serial) : *FCable;
    Start(serial, *FCutterUsb, Sources);
    // The test is the clock.
    View().Timer1().SetEnabled(false);
    SetPortText(bench.PortText);
    return *FSession;
}

session::TCutterSession& TSessionBench::BuildOverFakes() {
    Close();
    return Start(Serial, Usb, Sources);
}

session::TCutterSession& TSessionBench::BuildOver(devlink::TSerialApi& serial,
                                                  devlink::TUsbApi& usb,
                                                  devlink::TPortSources& sources) {
    Close();
    Start(serial, usb, sources);
    View().Timer1().SetEnabled(false);
    return *FSession;
}

session::TCutterSession& TSessionBench::Open(devlink::TSerialApi& serial, devlink::TUsbApi& usb,
                                             devlink::TPortSources& sources) {
    FOwnSession = std::make_unique<session::TCutterSession>(serial, usb, sources);
    return *FOwnSession;
}

session::TCutterSession& TSessionBench::Start(devlink::TSerialApi& serial, devlink::TUsbApi& usb,
                                              devlink::TPortSources& sources) {
    FSession = &Open(serial, usb, sources);
    Record();
    return *FSession;
}

void TSessionBench::Record() {
    Logged.clear();
    Silences.clear();
    Refusals.clear();
    HandlerFailures.clear();
    PortsLost.clear();
    ScaleEndings.clear();
    UsbGuardRefusals = 0;
    MonitorStops = 0;
    using session::TCutterSession;
    // A window over the session keeps the log itself, bounded as the operator sees it: a
    // soak of a thousand exchanges must not find the bench's copy grown.
    if (FOwnSession) {
        QObject::connect(FSession, &TCutterSession::LogLine,
                         [this](const std::string& line) { Logged.push_back(line); });
    }
    QObject::connect(FSession, &TCutterSession::Failed,
                     [this](const session::TOutcome& failure) { RecordFailure(failure); });
    QObject::connect(FSession, &TCutterSession::ScaleQueryEnded,
                     [this](bool decoded) { ScaleEndings.push_back(decoded); });
    QObject::connect(FSession, &TCutterSession::MonitorStopped, [this] { ++MonitorStops; });
}

void TSessionBench::RecordFailure(const session::TOutcome& failure) {
    if (failure.Kind == session::okUsbBlocked) {
        ++UsbGuardRefusals;
        return;
    }
    std::vector<std::string>& kept = failure.Kind == session::okSilent          ? Silences
                                     : failure.Kind == session::okReplyRefused  ? Refusals
                                     : failure.Kind == session::okHandlerFailed ? HandlerFailures
                                                                                : PortsLost;
    kept.push_back(failure.Cause);
}

std::vector<std::string> TSessionBench::Reported() const {
    std::vector<std::string> reported = Silences;
    reported.insert(reported.end(), Refusals.begin(), Refusals.end());
    reported.insert(reported.end(), HandlerFailures.begin(), HandlerFailures.end());
    reported.insert(reported.end(), static_cast<std::size_t>(UsbGuardRefusals),
                    session::kUsbCablePluggedText);
    return reported;
}

void TSessionBench::Tick(int count) {
    for (int i = 0; i < count; ++i) {
        View().Tick();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    }
}

int TSessionBench::TickUntilIdle(int limit) {
    const auto busy = [this] { return View().QueryOutstanding(); };
    int ticks = 0;
    while (busy() && ticks < limit) {
        Tick();
        ++ticks;
    }
    return ticks;
}

void TSessionBench::StartTicking() {
    const std::function<void()> tick = View().Timer1().OnTimer;
    View().Timer1().OnTimer = [this, tick] {
        ++FTicksDelivered;
        tick();
    };
    FTicksDelivered = 0;
    View().Timer1().SetEnabled(true);
    ASSERT_TRUE(QTest::qWaitFor([this] { return Parked(); }, kParkWaitMs))
        << "the idle session never parked";
}

void TSessionBench::Deliver(std::size_t count) {
    const std::size_t held = View().ReplyText().size();
    const std::size_t arrived = Line().DeliverNext(count);
    if (!FUsbChosen && View().Comm1().Enabled()) {
        AwaitReplyText(held + arrived);
    }
}

void TSessionBench::DeliverAll() {
    Deliver(PendingReplyBytes());
}

std::size_t TSessionBench::PendingReplyBytes() {
    return Line().Pending();
}

void TSessionBench::ArriveOnSerial(const std::string& bytes) {
    const std::size_t expected = View().ReplyText().size() + bytes.size();
    Serial.Receive(bytes);
    Serial.RaiseEvents(devlink::kEvRxChar);
    AwaitReplyText(expected);
}

void TSessionBench::ArriveUnasked(const std::string& bytes, bool announced) {
    Serial.Receive(bytes);
    if (!announced) {
        return;
    }
    Serial.RaiseEvents(devlink::kEvRxChar);
    for (int round = 0; round < kEventLoopRounds && View().Comm1().InQueCount() > 0; ++round) {
        QCoreApplication::processEvents();
        QThread::usleep(200);
    }
}

void TSessionBench::AwaitReplyText(std::size_t size) {
    for (int round = 0; round < kEventLoopRounds && View().ReplyText().size() < size; ++round) {
        QCoreApplication::processEvents();
        if (View().ReplyText().size() < size) {
            QThread::usleep(200);
        }
    }
}

void TSessionBench::ChoosePort(const std::string& text) {
    NamePort(text);
    FUsbChosen = NamesUsbPort(text);
    CheckPort(text);
}

void TSessionBench::Replug(const sim::TFaults& faults) {
    if (FUsbChosen) {
        FCutterUsb->AddDevice(0, *FCutter, faults);
    } else {
        FCable->Plug(faults);
    }
}

void TSessionBench::Unplug(bool adapterGone) {
    if (FUsbChosen) {
        FCutterUsb->SetPresent(0, false);
    } else if (adapterGone) {
        FCable->Current().RemoveAdapter();
    } else {
        FCable->Current().Line().HangUp();
    }
}

void TSessionBench::LoseWrites(bool lost) {
    if (NamesUsbPort(FSession->PortName())) {
        FCutterUsb->SetSendsFail(0, lost);
    } else {
        FCable->Current().SetWriteLimit(lost ? std::optional<std::uint32_t>(0) : std::nullopt);
    }
}

void TSessionBench::SetUsbCutterPlugged(bool plugged) {
    FCutterUsb->SetPresent(0, plugged);
}

int TSessionBench::CountLog(const std::string& line) const {
    return CountLines(Log(), line);
}

int TSessionBench::CountLogStartingWith(const std::string& prefix) const {
    return CountLinesStartingWith(Log(), prefix);
}

std::vector<std::string> TSessionBench::LogFromLast(const std::string& prefix) const {
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

std::vector<std::string> TSessionBench::CutterCommands() {
    std::vector<std::string> commands;
    for (const std::string& entry : Line().Transcript()) {
        if (entry.rfind("< ", 0) == 0) {
            commands.push_back(entry.substr(2));
        }
    }
    return commands;
}

std::string TSessionBench::SerialWritten() const {
    return FCable->Written();
}

void TSessionBench::ForgetSerialWritten() {
    FCable->ForgetWritten();
}

bool TSessionBench::LinkOpen() {
    return FUsbChosen ? FCutterUsb->OpenHandleCount() > 0 : View().Comm1().Enabled();
}

std::size_t TSessionBench::OpenUsbHandles() const {
    return FCutterUsb->OpenHandleCount();
}

sim::TInProcessLine& TSessionBench::Line() {
    return FUsbChosen ? FCutterUsb->Line(0) : FCable->Current().Line();
}

} // namespace testsupport
