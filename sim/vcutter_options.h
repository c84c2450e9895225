// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sim/cutter_model.h"
#include "sim/reply_plan.h"

#include <optional>
#include <string>
#include <vector>

namespace sim {

inline constexpr int kDefaultComNumber = 200;
inline constexpr int kDefaultDelayMs = 10;

// The command line of tessaro-vcutter.
struct TVCutterOptions {
    std::optional<int> ComNumber; // register as COM<n>
    bool ComAuto = false;         // register as the COM number ChooseComNumber() gives
    std::optional<int> UsbIndex;  // register as USB<i>
    std::string SvgPath;          // draw the cuts here; empty: no drawing
    TCutterConfig Cutter;
    TFaults Faults;
    int DelayMs = kDefaultDelayMs;
    bool ShowHelp = false;
    bool ShowVersion = false;
};

// Reads `arguments` (without the program name) into `options`; false with `error` set on
// the first option that is unknown, lacks its value or has a value out of range. Without
// --com and --usb the cutter registers as COM200.
bool ParseVCutterOptions(const std::vector<std::string>& arguments, TVCutterOptions& options,
                         std::string& error);

// For --com auto: the number above every serial port in `numbersInUse`, and at least
// kDefaultComNumber; nothing when that would pass the highest number Tessaro opens.
std::optional<int> ChooseComNumber(const std::vector<int>& numbersInUse);

// The --help text: every option, the faults included.
std::string VCutterUsage();

} // namespace sim
