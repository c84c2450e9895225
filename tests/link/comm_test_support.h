// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared by the port component's tests: a component that records its reports, and a Qt
// event loop for the hand-off from the event thread.

#include "link/comm.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

class QCoreApplication;

namespace devlink::test {

struct TReport {
    std::string Format;
    int Code = 0;
    bool operator==(const TReport&) const = default;
};

class TRecordingComm : public TComm {
public:
    using TComm::TComm;
    void ReportCommError(const char* format, int code) override {
        Reports.push_back({format, code});
    }
    std::vector<TReport> Reports;
};

// The process's QCoreApplication, made on first use on the calling (main) thread.
QCoreApplication& CoreApplication();

// Runs the event loop until `done` holds; false when it did not within `timeout`.
bool ProcessEventsUntil(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5));

} // namespace devlink::test
