// tessaro-vcutter: a virtual cutter on a pseudo-terminal, registered in the device map.

#include "link/device_map.h"
#include "sim/vcutter_options.h"
#include "sim/vcutter_session.h"
#include "tessaro_version.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

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
    sim::TVCutterSession session(std::move(options), devlink::DeviceMapDirectory(), stdout);
    return session.Run();
}
