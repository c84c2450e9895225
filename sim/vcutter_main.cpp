// SPDX-License-Identifier: GPL-3.0-or-later
// tessaro-vcutter: a virtual cutter on a pseudo-terminal, registered in the device map.

#include "link/device_map.h"
#include "platform/linux/port_table.h"
#include "sim/vcutter_options.h"
#include "sim/vcutter_session.h"
#include "tessaro_version.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The serial ports this machine has, numbered as Tessaro lists them.
std::vector<int> ComNumbersInUse() {
    std::vector<int> numbers;
    for (const platform::TSerialPortEntry& port : platform::TPortTable().ListSerial()) {
        numbers.push_back(port.Number);
    }
    return numbers;
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    sim::TVCutterOptions options;
    std::string error;
    if (!sim::ParseVCutterOptions(std::vector<std::string>(argv + 1, argv + argc), options,
                                  error)) {
        std::fprintf(stderr, "tessaro-vcutter: %s\n", error.c_str());
        return 2;
    }
    if (options.ShowHelp) {
        std::fputs(sim::VCutterUsage().c_str(), stdout);
        return 0;
    }
    if (options.ShowVersion) {
        std::printf("tessaro-vcutter %s\n", kTessaroVersion);
        return 0;
    }
    if (options.ComAuto) {
        options.ComNumber = sim::ChooseComNumber(ComNumbersInUse());
        if (!options.ComNumber) {
            std::fprintf(stderr, "tessaro-vcutter: --com auto: no COM number is free above "
                                 "the serial ports in use\n");
            return 1;
        }
    }
    sim::TVCutterSession session(std::move(options), devlink::DeviceMapDirectory(), stdout);
    return session.Run();
}
