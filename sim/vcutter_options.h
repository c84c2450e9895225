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

// The --help text: every option, the faults included.
std::string VCutterUsage();

} // namespace sim
