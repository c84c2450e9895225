// SPDX-License-Identifier: GPL-3.0-or-later
// The session's reply collection under the shell's rule, fed through the in-process serial
// link: whatever bytes come, in whatever pieces and with whatever pauses, a value signal
// carries one whole reply of the query sent, that reply is the first bytes since the query
// went out, and the values it reports are that reply's alone.

#include "fuzz/fuzz_properties.h"
#include "fuzz/property_support.h"
#include "protocol/queries.h"
#include "protocol/reply_decoding.h"
#include "session/cutter_session.h"
#include "sim/in_process_serial.h"
#include "sim/in_process_usb.h"
#include "tests/support/session_test_view.h"

#include <QCoreApplication>
#include <QThread>

#include <cstring>
#include <vector>

namespace hardening {

namespace {

constexpr const char* kReceivedPrefix = "接收:";
// A hand-off from the event thread takes microseconds; this bounds a lost one.
constexpr int kHandOffRounds = 2000;
constexpr std::size_t kTicksAfterInput = 12;

// No ports to list: the session is given its port by name.
class TNoPortSources : public devlink::TPortSources {
public:
    bool GetVersionEx(devlink::TOsVersionInfo& /*info*/) override { return false; }
    bool EnumPorts(std::vector<std::string>& /*portNames*/) override { return false; }
    bool ReadSerialCommMap(std::vector<devlink::TSerialCommValue>& /*values*/) override {
        return false;
    }
    std::string DevicePathOf(const std::string& /*portName*/) override { return {}; }
    std::string DeviceGroupOf(const std::string& /*portName*/) override { return {}; }
};

void EnsureApplication() {
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "fuzz_reply_collection";
        static char* argv[] = {name, nullptr};
        static QCoreApplication application(argc, argv);
    }
}

// The log shows each reply byte as one UTF-8 character; back to the bytes.
std::string Latin1FromUtf8(std::string_view text) {
    std::string bytes;
    for (std::size_t index = 0; index < text.size(); ++index) {
        const auto lead = static_cast<unsigned char>(text[index]);
        if (lead < 0x80 || index + 1 == text.size()) {
            bytes += text[index];
            continue;
        }
        bytes += static_cast<char>(((lead & 0x03) << 6) |
                                   (static_cast<unsigned char>(text[++index]) & 0x3F));
    }
    return bytes;
}

// The values a whole reply of `query` sets, read from a fresh decode and from the session.
std::vector<std::string> ValuesOf(protocol::TCommandCode query, const protocol::CutterSettings& s) {
    switch (query) {
    case protocol::ccPollSize:
        return {s.PollSizeX, s.PollSizeY};
    case protocol::ccSettingsQuery:
        return {s.MediaWeight, s.Force, s.Offset, s.Quality, s.Smooth, s.AutoUnroll, s.MediaType};
    case protocol::ccFirmwareQuery:
        return {s.FirmwareModel, s.FirmwareVersion};
    default:
        return {std::to_string(s.ScaleX), std::to_string(s.ScaleY)};
    }
}

std::vector<std::string> FreshValues(protocol::TCommandCode query, const std::string& reply) {
    protocol::CutterSettings fresh;
    protocol::QueryOf(query).Decode(reply, fresh, nullptr);
    return ValuesOf(query, fresh);
}

// A session in the shell's rule on COM1, the cutter silent so that only the input answers.
class TCollectionRun {
public:
    explicit TCollectionRun(protocol::TCommandCode query)
        : FSerial(FCutter, "COM1", Silent()), FSession(FSerial, FUsb, FSources), FQuery(query) {
        testsupport::TSessionTestView(FSession).Timer1().SetEnabled(false);
        FSession.SetReplyMode(session::rmShell);
        FSession.SetPortName("COM1");
        using session::TCutterSession;
        QObject::connect(&FSession, &TCutterSession::LogLine, [this](const std::string& line) {
            if (line.starts_with(kReceivedPrefix)) {
                FLastReply = Latin1FromUtf8(std::string_view(line).substr(strlen(kReceivedPrefix)));
                ++FReplies;
            }
        });
        for (const auto signal :
             {&TCutterSession::SizeReported, &TCutterSession::SettingsReported,
              &TCutterSession::FirmwareReported, &TCutterSession::ScaleReported}) {
            QObject::connect(&FSession, signal, [this, signal] { CheckValueSignal(signal); });
        }
        QObject::connect(&FSession, &TCutterSession::ReplyNotWhole,
                         [this](protocol::TCommandCode code, const std::string& reply) {
                             if (code != FQuery || protocol::IsWholeReply(code, reply)) {
                                 Note("a reply reported not whole is whole, or of another query");
                             }
                         });
    }

    void Send() {
        if (FQuery == protocol::ccSettingsQuery) {
            FSession.StartMonitor();
        } else {
            testsupport::TSessionTestView(FSession).RequestQuery(FQuery);
        }
    }

    // The bytes arrive; the serial event thread hands them to the session.
    void Arrive(std::string_view bytes) {
        FStream += bytes;
        FSerial.Line().InjectPending(bytes);
        FSerial.Line().DeliverAll();
        for (int round = 0; round < kHandOffRounds &&
                            testsupport::TSessionTestView(FSession).Comm1().InQueCount() > 0;
             ++round) {
            QCoreApplication::processEvents();
            QThread::usleep(50);
        }
        QCoreApplication::processEvents();
    }

    void Tick(std::size_t count) {
        for (std::size_t tick = 0; tick < count; ++tick) {
            testsupport::TSessionTestView(FSession).Tick();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        }
    }

    void End() { FSession.AbandonQueries(); }
    const std::string& Failure() const { return FFailure; }

private:
    static sim::TFaults Silent() {
        sim::TFaults faults;
        faults.Silent = true;
        return faults;
    }

    void Note(const std::string& failure) {
        if (FFailure.empty()) {
            FFailure = failure;
        }
    }

    // The first reply starts with the first byte that came after the query went out.
    void CheckValueSignal(void (session::TCutterSession::*signal)()) {
        using session::TCutterSession;
        const auto expected =
            FQuery == protocol::ccPollSize        ? &TCutterSession::SizeReported
            : FQuery == protocol::ccSettingsQuery ? &TCutterSession::SettingsReported
            : FQuery == protocol::ccFirmwareQuery ? &TCutterSession::FirmwareReported
                                                  : &TCutterSession::ScaleReported;
        if (signal != expected) {
            Note("a value signal of another query than the one sent");
        } else if (!protocol::IsWholeReply(FQuery, FLastReply)) {
            Note("a value signal for a reply that is not whole: " + Shown(FLastReply));
        } else if (FReplies == 1 && !FStream.starts_with(FLastReply)) {
            Note("the first reply did not start at the first byte after the query");
        } else if (ValuesOf(FQuery, FSession.Settings()) != FreshValues(FQuery, FLastReply)) {
            Note("values reported that the reply did not hold");
        }
    }

    sim::TVirtualCutter FCutter{sim::TCutterConfig{}};
    sim::TInProcessSerial FSerial;
    sim::TInProcessUsb FUsb;
    TNoPortSources FSources;
    session::TCutterSession FSession;
    protocol::TCommandCode FQuery;
    std::string FStream;
    std::string FLastReply;
    int FReplies = 0;
    std::string FFailure;
};

constexpr protocol::TCommandCode kQueries[] = {protocol::ccPollSize, protocol::ccSettingsQuery,
                                               protocol::ccFirmwareQuery, protocol::ccScaleQuery};

} // namespace

// The first byte chooses the query; then each control byte says how many of the bytes after
// it arrive as one piece (its low 5 bits) and how many ticks pass after them (its high 3).
TViolation CheckReplyCollection(std::string_view input) {
    if (input.empty()) {
        return std::nullopt;
    }
    EnsureApplication();
    TCollectionRun run(kQueries[static_cast<unsigned char>(input.front()) % 4]);
    run.Send();
    std::string_view rest = input.substr(1);
    while (!rest.empty()) {
        const auto control = static_cast<unsigned char>(rest.front());
        const std::string_view piece = rest.substr(1, control & 0x1F);
        rest.remove_prefix(1 + piece.size());
        run.Arrive(piece);
        run.Tick(control >> 5);
    }
    run.Tick(kTicksAfterInput);
    run.End();
    if (!run.Failure().empty()) {
        return Violation(run.Failure(), input);
    }
    return std::nullopt;
}

} // namespace hardening
