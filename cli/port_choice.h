// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "session/cutter_session.h"

#include <chrono>
#include <string>
#include <vector>

namespace cli {

// The port name to give the session, or why there is none (the ports listed).
struct TPortChoice {
    std::string PortName;
    std::string Failure;
};

// What --port names: an entry of the port list by its name (any case, "\\.\" before it
// too) or by its device path (a link to the device matches too; an entry whose path is
// unknown matches none). Besides the entries only USB0 to USB9 are taken; any other name
// is refused with the list.
TPortChoice PortNamed(const std::string& wanted, const std::vector<session::TPortEntry>& entries);

// Without --port: the only entry, or else the one entry whose cutter answers the firmware
// query (a query that changes nothing on the cutter) within `timeout`.
TPortChoice AnsweringPort(session::TCutterSession& session,
                          const std::vector<session::TPortEntry>& entries,
                          std::chrono::milliseconds timeout);

} // namespace cli
