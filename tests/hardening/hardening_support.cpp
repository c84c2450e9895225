// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/hardening/hardening_support.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's count of live heap bytes (its header ships with clang only).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace hardening::test {

TFaultBench::TFaultBench(const std::string& portText, const sim::TFaults& faults) {
    Build(testsupport::OnLink(portText, faults));
}

std::size_t OpenDescriptorCount() {
    const auto entries = std::filesystem::directory_iterator("/proc/self/fd");
    // The iterator's own descriptor is among them.
    return static_cast<std::size_t>(std::distance(entries, std::filesystem::directory_iterator()));
}

std::size_t ResidentKib() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            std::size_t kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}

std::size_t LiveHeapBytes() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

std::string SourceDir() {
    return TESSARO_SOURCE_DIR;
}

} // namespace hardening::test
