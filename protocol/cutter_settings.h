// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace protocol {

// The values read from the cutter. Texts are what the labels show, already formatted;
// only the decoders write them and nothing clears them.
struct CutterSettings {
    std::string PollSizeX;
    std::string PollSizeY;
    std::string MediaWeight;
    std::string Force;
    std::string Offset;
    std::string Quality;
    std::string Smooth;
    std::string AutoUnroll;
    std::string MediaType;
    std::string FirmwareModel;
    std::string FirmwareVersion;
    std::string FirmwareVersionField; // all of the reply's version field ("2.10 0305")
    std::int32_t ScaleX = 0;
    std::int32_t ScaleY = 0;
};

} // namespace protocol
