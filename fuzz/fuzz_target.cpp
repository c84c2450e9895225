// SPDX-License-Identifier: GPL-3.0-or-later
// The libFuzzer entry of one target; TESSARO_FUZZ_TARGET names its check (the corpus
// folder's name). A check that does not hold aborts, so the input is kept as a crash.

#include "fuzz/fuzz_properties.h"

#include <cstdio>
#include <cstdlib>

namespace {

const hardening::TCheck kCheck = hardening::CheckNamed(TESSARO_FUZZ_TARGET);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (kCheck == nullptr) {
        std::fprintf(stderr, "no check is named %s\n", TESSARO_FUZZ_TARGET);
        std::abort();
    }
    if (const hardening::TViolation violation = kCheck(hardening::AsText(data, size))) {
        std::fprintf(stderr, "%s: %s\n", TESSARO_FUZZ_TARGET, violation->c_str());
        std::abort();
    }
    return 0;
}
