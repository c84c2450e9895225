// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sim/cutter_model.h"
#include "sim/cutter_port.h"
#include "sim/device_link.h"
#include "sim/pseudo_terminal.h"
#include "sim/vcutter_options.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// tessaro-vcutter at work: one cutter behind one pseudo-terminal per registered port.
// Receives commands, answers them paced at the line rate, and writes the transcript.
class TVCutterSession {
public:
    TVCutterSession(TVCutterOptions options, std::filesystem::path mapDirectory,
                    std::FILE* transcript);
    ~TVCutterSession();

    // Runs until SIGINT, SIGTERM or SIGHUP, or until every port has hung up; returns the
    // exit status (0, or 1 when the ports could not be set up). SIGUSR1 presses the force
    // key.
    int Run();

private:
    using TClock = std::chrono::steady_clock;

    struct TOutgoingByte {
        TClock::time_point Due;
        char Byte;
    };

    // One registered port.
    struct TChannel {
        std::string Name;
        std::unique_ptr<TPseudoTerminal> Terminal;
        std::unique_ptr<TDeviceLink> Registration;
        std::unique_ptr<TCutterPort> Port;
        std::deque<TOutgoingByte> Outgoing;
        bool HangUpWhenSent = false;
        std::optional<TClock::time_point> HangUpAt;
        bool HostPresent = false;
        // A host has had the slave open since the exclusive use was last released.
        bool HostOpened = false;
        TClock::time_point HangUpSeenAt{};
        TClock::time_point QuietUntil{};
        TClock::time_point WriteRetryAt{};
    };

    bool OpenChannel(const std::string& name);
    bool ServeUntilStopped(int signalDescriptor);
    int NextWakeMilliseconds(TClock::time_point now) const;
    void Receive(TChannel& channel, TClock::time_point now);
    void Answer(TChannel& channel, const TPortResult& result, TClock::time_point now);
    void SendDue(TChannel& channel, TClock::time_point now);
    void HostGone(TChannel& channel, TClock::time_point now);
    void ReleaseExclusiveUse(TChannel& channel);
    void RenewTerminal(TChannel& channel);
    void ScheduleHangUp(TChannel& channel, TClock::time_point now);
    void HangUp(TChannel& channel);
    void PressForceKey();
    bool AnyChannelOpen() const;
    void DrawCuts();
    void Print(const std::string& port, const std::string& text);
    void PrintBanner();

    TVCutterOptions FOptions;
    std::filesystem::path FMapDirectory;
    std::FILE* FTranscript;
    TVirtualCutter FCutter;
    std::vector<TChannel> FChannels;
    TClock::time_point FStart;
};

} // namespace sim
