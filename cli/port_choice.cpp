// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/port_choice.h"

#include "cli/query_run.h"
#include "toolkit/conversions.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace cli {

namespace {

std::string Joined(const std::vector<std::string>& items) {
    std::string list;
    for (const std::string& item : items) {
        list += (list.empty() ? "" : ", ") + item;
    }
    return list;
}

// "COM1 (/dev/ttyS0), USB0 (/dev/usb/lp0)", or "none".
std::string PortList(const std::vector<session::TPortEntry>& entries) {
    std::vector<std::string> ports;
    for (const session::TPortEntry& entry : entries) {
        ports.push_back(entry.Name +
                        (entry.DevicePath.empty() ? "" : " (" + entry.DevicePath + ")"));
    }
    return ports.empty() ? "none" : Joined(ports);
}

bool SameDevice(const std::string& path, const std::string& devicePath) {
    if (devicePath.empty() || path == devicePath) {
        return !devicePath.empty();
    }
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(path, error);
    if (error) {
        return false;
    }
    const std::filesystem::path device = std::filesystem::canonical(devicePath, error);
    return !error && resolved == device;
}

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

// The prefix of a device name in the system's namespace, as in \\.\COM3.
constexpr const char* kDevicePrefix = "\\\\.\\";

// A USB device that is there but did not answer the list's probe (held, or not
// permitted) is left out of the list; it is still asked, so that the cause is told.
bool NamesUsbDevice(const std::string& upperName) {
    return upperName.size() == 4 && upperName.starts_with("USB") && upperName.back() >= '0' &&
           upperName.back() <= '3';
}

} // namespace

// A name no entry holds would fail as a missing device after the silence limit; it is
// refused at once instead, with the names that would do.
TPortChoice PortNamed(const std::string& wanted, const std::vector<session::TPortEntry>& entries) {
    const bool devicePath = wanted.starts_with('/');
    std::string upper = toolkit::UpperCase(wanted);
    if (upper.starts_with(kDevicePrefix)) {
        upper.erase(0, std::string_view(kDevicePrefix).size());
    }
    const auto found =
        std::find_if(entries.begin(), entries.end(), [&](const session::TPortEntry& entry) {
            return devicePath ? SameDevice(wanted, entry.DevicePath)
                              : toolkit::UpperCase(entry.Name) == upper;
        });
    if (found != entries.end()) {
        return {found->Name, {}};
    }
    if (!devicePath && NamesUsbDevice(upper)) {
        return {upper, {}};
    }
    return {{},
            (devicePath ? "no port of the port list is the device " + wanted
                        : "no port is named " + wanted) +
                "; the ports: " + PortList(entries)};
}

TPortChoice AnsweringPort(session::TCutterSession& session,
                          const std::vector<session::TPortEntry>& entries,
                          std::chrono::milliseconds timeout) {
    if (entries.empty()) {
        return {{}, "no port found: connect the cutter, or name its port with --port"};
    }
    if (entries.size() == 1) {
        return {entries.front().Name, {}};
    }
    std::vector<std::string> answering;
    std::vector<std::string> silent;
    for (const session::TPortEntry& entry : entries) {
        session.SetPortName(entry.Name);
        const TQueryOutcome outcome = RunQuery(session, qcFirmware, timeout);
        if (outcome.Answered) {
            answering.push_back(entry.Name);
        } else {
            silent.push_back(entry.Name + " (" + OneLine(outcome.Failure) + ")");
        }
    }
    if (answering.size() == 1) {
        return {answering.front(), {}};
    }
    if (answering.empty()) {
        return {{},
                "no cutter answered on any port: " + Joined(silent) +
                    "; name the port with --port"};
    }
    return {{}, "cutters answer on " + Joined(answering) + ": choose one with --port"};
}

} // namespace cli
