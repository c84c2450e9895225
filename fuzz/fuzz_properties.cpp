// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz/fuzz_properties.h"

#include <utility>

namespace hardening {

TCheck CheckNamed(std::string_view target) {
    static const std::pair<std::string_view, TCheck> kChecks[] = {
        {"reply_splitting", &CheckReplySplitting}, {"reply_decoders", &CheckReplyDecoders},
        {"conversions", &CheckConversions},        {"command_building", &CheckCommandBuilding},
        {"cutter_reader", &CheckCutterReader},     {"reply_collection", &CheckReplyCollection},
    };
    for (const auto& [name, check] : kChecks) {
        if (name == target) {
            return check;
        }
    }
    return nullptr;
}

} // namespace hardening
