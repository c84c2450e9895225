// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/one_port_sources.h"

namespace testsupport {

bool TOnePortSources::GetVersionEx(devlink::TOsVersionInfo& info) {
    info = {5, 1, 2600, devlink::kVerPlatformWin32Nt};
    return true;
}

bool TOnePortSources::EnumPorts(std::vector<std::string>& portNames) {
    portNames = {std::string(kSerialPort) + ":"};
    return true;
}

bool TOnePortSources::ReadSerialCommMap(std::vector<devlink::TSerialCommValue>& values) {
    values = {{"\\Device\\Serial0", kSerialPort, "/dev/ttyS0"}};
    return true;
}

std::string TOnePortSources::DevicePathOf(const std::string& portName) {
    return portName == kSerialPort ? "/dev/ttyS0" : std::string();
}

std::string TOnePortSources::DeviceGroupOf(const std::string& /*portName*/) {
    return "dialout";
}

} // namespace testsupport
