// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/vcutter_session.h"

#include "sim/svg_writer.h"
#include "sim/transcript.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace sim {
namespace {

using namespace std::chrono_literals;

// How long to leave a port alone after its host closed it: the master then reports a
// hang-up on every poll until the host opens it again.
constexpr auto kQuietAfterHostGone = 20ms;
// While nobody has the slave open the hang-ups come one quiet spell apart; a longer gap
// means that a host had it open meanwhile, silent or not.
constexpr auto kHostSeenGap = 100ms;
// How long to wait before writing again when the host does not read.
constexpr auto kWriteRetry = 10ms;
constexpr std::size_t kReadChunk = 4096;
// Closing the master discards what the host has not read yet; give it time to read the
// last bytes, as a host's own port would have received them before the line dropped.
constexpr auto kHangUpGrace = 250ms;

// SIGINT, SIGTERM and SIGHUP (the end) and SIGUSR1 (the force key) as a descriptor to
// poll, so that nothing runs in a handler. The signals stay blocked to the end, so a
// second Ctrl-C cannot cut the clean-up short.
class TSignalDescriptor {
public:
    TSignalDescriptor() {
        sigset_t signals;
        sigemptyset(&signals);
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) {
            sigaddset(&signals, signal);
        }
        sigprocmask(SIG_BLOCK, &signals, nullptr);
        FDescriptor = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    }
    ~TSignalDescriptor() {
        if (FDescriptor >= 0) {
            ::close(FDescriptor);
        }
    }
    TSignalDescriptor(const TSignalDescriptor&) = delete;
    TSignalDescriptor& operator=(const TSignalDescriptor&) = delete;

    int Descriptor() const { return FDescriptor; }

private:
    int FDescriptor = -1;
};

// The number of the signal that came, or 0 when none could be read.
int ReadSignal(int descriptor) {
    signalfd_siginfo info{};
    return ::read(descriptor, &info, sizeof info) == sizeof info ? int(info.ssi_signo) : 0;
}

std::string SignalName(int signal) {
    const char* name = signal != 0 ? sigabbrev_np(signal) : nullptr;
    return name != nullptr ? std::string("SIG") + name : "a signal";
}

std::string DescribeActiveFaults(const TFaults& faults) {
    std::string text;
    const auto add = [&text](const std::string& fault) {
        text += (text.empty() ? "" : ", ") + fault;
    };
    if (faults.Silent) {
        add("silent");
    }
    if (faults.LateMs > 0) {
        add("late " + std::to_string(faults.LateMs) + " ms");
    }
    if (faults.ChunkGapMs > 0) {
        add("chunked, " + std::to_string(faults.ChunkGapMs) + " ms gaps");
    }
    if (faults.Garbage) {
        add("garbage (seed " + std::to_string(faults.GarbageSeed) + ")");
    }
    if (faults.NoCarriageReturn) {
        add("no carriage return");
    }
    if (faults.CrLf) {
        add("CR LF endings");
    }
    if (faults.FlashBusyMs > 0) {
        add("busy " + std::to_string(faults.FlashBusyMs) + " ms after a flash write");
    }
    if (faults.HangUpAfterBytes) {
        add("hang-up after " + std::to_string(*faults.HangUpAfterBytes) + " bytes");
    }
    return text.empty() ? "none" : text;
}

std::string FormatNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace

TVCutterSession::TVCutterSession(TVCutterOptions options, std::filesystem::path mapDirectory,
                                 std::FILE* transcript)
    : FOptions(std::move(options)), FMapDirectory(std::move(mapDirectory)), FTranscript(transcript),
      FCutter(FOptions.Cutter), FStart(TClock::now()) {}

TVCutterSession::~TVCutterSession() = default;

int TVCutterSession::Run() {
    TSignalDescriptor signals;
    if (signals.Descriptor() < 0) {
        std::fprintf(stderr, "tessaro-vcutter: signalfd: %s\n", std::strerror(errno));
        return 1;
    }
    if ((FOptions.ComNumber && !OpenChannel("COM" + std::to_string(*FOptions.ComNumber))) ||
        (FOptions.UsbIndex && !OpenChannel("USB" + std::to_string(*FOptions.UsbIndex)))) {
        return 1;
    }
    PrintBanner();
    const bool served = ServeUntilStopped(signals.Descriptor());
    DrawCuts();
    for (TChannel& channel : FChannels) {
        if (channel.Registration) {
            Print(channel.Name, "- link removed: " + channel.Registration->Path().string());
        }
    }
    FChannels.clear();
    return served ? 0 : 1;
}

bool TVCutterSession::OpenChannel(const std::string& name) {
    std::string error;
    TChannel channel;
    channel.Name = name;
    channel.Terminal = TPseudoTerminal::Open(error);
    if (channel.Terminal) {
        channel.Registration =
            TDeviceLink::Register(FMapDirectory, name, channel.Terminal->SlavePath(), error);
    }
    if (!channel.Registration) {
        std::fprintf(stderr, "tessaro-vcutter: %s: %s\n", name.c_str(), error.c_str());
        return false;
    }
    channel.Port = std::make_unique<TCutterPort>(FCutter, FOptions.Faults, FOptions.DelayMs);
    FChannels.push_back(std::move(channel));
    return true;
}

void TVCutterSession::PrintBanner() {
    const TCutterConfig& config = FOptions.Cutter;
    if (FOptions.ComAuto) {
        std::fprintf(FTranscript, "COM%d\n", *FOptions.ComNumber);
    }
    for (const TChannel& channel : FChannels) {
        Print(channel.Name, "- registered " + channel.Registration->Path().string() + " -> " +
                                channel.Terminal->SlavePath());
    }
    Print("cutter", "- " + config.FirmwareModel + " " + config.FirmwareVersion + "; media " +
                        FormatNumber(config.ClipUpperRightX / kUnitsPerMillimetre) + " x " +
                        FormatNumber(config.ClipUpperRightY / kUnitsPerMillimetre) + " mm; scale " +
                        std::to_string(config.ScaleX) + "/" + std::to_string(config.ScaleY) +
                        "; error " + FormatNumber(config.ErrorX) + "/" +
                        FormatNumber(config.ErrorY) + "; delay " +
                        std::to_string(FOptions.DelayMs) +
                        " ms; faults: " + DescribeActiveFaults(FOptions.Faults));
}

bool TVCutterSession::ServeUntilStopped(int signalDescriptor) {
    while (AnyChannelOpen()) {
        TClock::time_point now = TClock::now();
        for (TChannel& channel : FChannels) {
            SendDue(channel, now);
        }
        if (!AnyChannelOpen()) {
            break;
        }
        std::vector<pollfd> descriptors{{signalDescriptor, POLLIN, 0}};
        std::vector<TChannel*> polled;
        for (TChannel& channel : FChannels) {
            if (channel.Terminal && now >= channel.QuietUntil) {
                descriptors.push_back({channel.Terminal->Master(), POLLIN, 0});
                polled.push_back(&channel);
            }
        }
        const int ready = ::poll(descriptors.data(), descriptors.size(), NextWakeMilliseconds(now));
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "tessaro-vcutter: poll: %s\n", std::strerror(errno));
            return false;
        }
        if (ready <= 0) {
            continue;
        }
        if ((descriptors[0].revents & POLLIN) != 0) {
            const int signal = ReadSignal(signalDescriptor);
            if (signal != SIGUSR1) {
                Print("cutter", "- stopped by " + SignalName(signal));
                return true;
            }
            PressForceKey();
            continue;
        }
        now = TClock::now();
        for (std::size_t i = 0; i < polled.size(); ++i) {
            const short events = descriptors[i + 1].revents;
            if ((events & POLLIN) != 0) {
                Receive(*polled[i], now);
            } else if ((events & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                HostGone(*polled[i], now);
            }
        }
    }
    Print("cutter", "- every port has hung up");
    return true;
}

int TVCutterSession::NextWakeMilliseconds(TClock::time_point now) const {
    std::optional<TClock::time_point> wake;
    const auto consider = [&wake](TClock::time_point at) {
        wake = wake ? std::min(*wake, at) : at;
    };
    for (const TChannel& channel : FChannels) {
        if (!channel.Terminal) {
            continue;
        }
        if (!channel.Outgoing.empty()) {
            consider(std::max(channel.Outgoing.front().Due, channel.WriteRetryAt));
        }
        if (channel.QuietUntil > now) {
            consider(channel.QuietUntil);
        }
        if (channel.HangUpAt) {
            consider(*channel.HangUpAt);
        }
    }
    if (!wake) {
        return -1;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*wake - now);
    return int(std::max<std::chrono::milliseconds::rep>(wait.count(), 0));
}

void TVCutterSession::Receive(TChannel& channel, TClock::time_point now) {
    char bytes[kReadChunk];
    const ssize_t count = ::read(channel.Terminal->Master(), bytes, sizeof bytes);
    if (count > 0) {
        channel.HostPresent = true;
        channel.HostOpened = true;
        Answer(channel, channel.Port->Receive(std::string_view(bytes, std::size_t(count))), now);
    } else if (count == 0 || (errno != EAGAIN && errno != EINTR)) {
        HostGone(channel, now);
    }
}

void TVCutterSession::Answer(TChannel& channel, const TPortResult& result, TClock::time_point now) {
    bool cut = false;
    for (const TCutterEvent& event : result.Events) {
        Print(channel.Name, FormatEvent(event));
        cut = cut || event.Kind == TEventKind::ekCut;
    }
    for (const TReplyPlan& plan : result.Replies) {
        // A reply follows the one still on the line.
        const TClock::time_point start =
            channel.Outgoing.empty() ? now : std::max(now, channel.Outgoing.back().Due);
        for (const TTimedByte& timed : plan.Bytes) {
            const auto offset = std::chrono::duration<double, std::milli>(timed.DueMs);
            channel.Outgoing.push_back(
                {start + std::chrono::duration_cast<TClock::duration>(offset), timed.Byte});
        }
        channel.HangUpWhenSent = channel.HangUpWhenSent || plan.HangUp;
    }
    if (cut) {
        DrawCuts();
    }
    ScheduleHangUp(channel, now);
}

void TVCutterSession::SendDue(TChannel& channel, TClock::time_point now) {
    if (channel.Terminal && channel.HangUpAt && now >= *channel.HangUpAt) {
        HangUp(channel);
    }
    if (!channel.Terminal || now < channel.WriteRetryAt) {
        return;
    }
    std::string due;
    for (const TOutgoingByte& outgoing : channel.Outgoing) {
        if (outgoing.Due > now) {
            break;
        }
        due.push_back(outgoing.Byte);
    }
    if (!due.empty()) {
        const ssize_t written = ::write(channel.Terminal->Master(), due.data(), due.size());
        if (written < 0 && (errno == EAGAIN || errno == EINTR)) {
            channel.WriteRetryAt = now + kWriteRetry;
            return;
        }
        if (written < 0) {
            HostGone(channel, now);
            return;
        }
        channel.Outgoing.erase(channel.Outgoing.begin(), channel.Outgoing.begin() + written);
    }
    ScheduleHangUp(channel, now);
}

void TVCutterSession::ScheduleHangUp(TChannel& channel, TClock::time_point now) {
    if (channel.HangUpWhenSent && channel.Outgoing.empty() && !channel.HangUpAt) {
        channel.HangUpAt = now + kHangUpGrace;
    }
}

void TVCutterSession::HostGone(TChannel& channel, TClock::time_point now) {
    if (channel.HostPresent) {
        Print(channel.Name, "- host closed the port");
    }
    // A cutter does not know that its host gave up: what it still has to say goes out
    // and waits in the line for the next opener, as a late reply does on a real cable.
    if (!channel.Outgoing.empty()) {
        Print(channel.Name, "- " + std::to_string(channel.Outgoing.size()) +
                                " reply bytes still to send: they wait for the next opener");
    }
    channel.HostPresent = false;
    channel.HostOpened = channel.HostOpened || now - channel.HangUpSeenAt > kHostSeenGap;
    channel.HangUpSeenAt = now;
    channel.QuietUntil = now + kQuietAfterHostGone;
    if (channel.HangUpWhenSent) {
        HangUp(channel);
    } else if (channel.HostOpened) {
        channel.HostOpened = false;
        ReleaseExclusiveUse(channel);
    }
}

// A serial port forgets exclusive use at its last close; a pseudo-terminal keeps it while
// its master is open, so the mark a killed host left would shut every later host out.
void TVCutterSession::ReleaseExclusiveUse(TChannel& channel) {
    switch (channel.Terminal->ReleaseExclusiveUse()) {
    case TPseudoTerminal::euFree:
        break;
    case TPseudoTerminal::euCleared:
        Print(channel.Name, "- cleared the exclusive use its host left on the terminal");
        break;
    case TPseudoTerminal::euHeld:
        RenewTerminal(channel);
        break;
    }
}

// The terminal stays marked exclusive: a new one takes the port's name, and what was still
// to be sent waits there for the next opener.
void TVCutterSession::RenewTerminal(TChannel& channel) {
    std::string error;
    std::unique_ptr<TPseudoTerminal> terminal = TPseudoTerminal::Open(error);
    channel.Registration.reset();
    if (terminal) {
        channel.Registration =
            TDeviceLink::Register(FMapDirectory, channel.Name, terminal->SlavePath(), error);
    }
    if (!channel.Registration) {
        Print(channel.Name, "? exclusive use left on the terminal, no new one: " + error);
        HangUp(channel);
        return;
    }
    channel.Terminal = std::move(terminal);
    Print(channel.Name, "- exclusive use left on the terminal: registered " +
                            channel.Registration->Path().string() + " -> " +
                            channel.Terminal->SlavePath());
}

void TVCutterSession::HangUp(TChannel& channel) {
    Print(channel.Name, "- hung up: link removed, line dropped");
    channel.Registration.reset();
    channel.Terminal.reset();
    channel.Outgoing.clear();
}

void TVCutterSession::PressForceKey() {
    const std::int32_t before = FCutter.Config().Force;
    FCutter.RaiseForce();
    Print("cutter", "* force " + std::to_string(before) + " -> " +
                        std::to_string(FCutter.Config().Force) + " (SIGUSR1, the force key)");
}

bool TVCutterSession::AnyChannelOpen() const {
    return std::any_of(FChannels.begin(), FChannels.end(),
                       [](const TChannel& channel) { return channel.Terminal != nullptr; });
}

void TVCutterSession::DrawCuts() {
    std::string error;
    if (!FOptions.SvgPath.empty() && !WriteCutsSvg(FOptions.SvgPath, FCutter.Cuts(), error)) {
        Print("cutter", "? " + error);
    }
}

void TVCutterSession::Print(const std::string& port, const std::string& text) {
    const double seconds = std::chrono::duration<double>(TClock::now() - FStart).count();
    std::fprintf(FTranscript, "[%9.3f] %s %s\n", seconds, port.c_str(), text.c_str());
    std::fflush(FTranscript);
}

} // namespace sim
