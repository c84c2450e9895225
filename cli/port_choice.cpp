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

} // namespace

TPortChoice PortNamed(const std::string& wanted, const std::vector<session::TPortEntry>& entries) {
    const bool devicePath = wanted.starts_with('/');
    const auto found =
        std::find_if(entries.begin(), entries.end(), [&](const session::TPortEntry& entry) {
            return devicePath ? SameDevice(wanted, entry.DevicePath)
                              : toolkit::UpperCase(entry.Name) == toolkit::UpperCase(wanted);
        });
    if (found != entries.end()) {
        return {found->Name, {}};
    }
    const std::string upper = toolkit::UpperCase(wanted);
    if (!devicePath &&
        (upper.find("COM") != std::string::npos || upper.find("USB") != std::string::npos)) {
        return {upper, {}};
    }
    return {{},
            (devicePath ? "no port of the port list is the device " + wanted
                        : "no port is named " + wanted) +
                "; the ports: " + PortList(entries)};
}

TPortChoice AnsweringPort(session::TCutterSession& session,
                          const std::vector<session::TPortEntry>& entries) {
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
        const TQueryOutcome outcome = RunQuery(session, qcFirmware);
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
