// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What must hold for any input to the parsers and builders that meet untrusted bytes or
// typed text. Each check returns a description of the first thing that did not hold, or
// nothing. The libFuzzer targets abort on a description; the hardening tests run the same
// checks over the seed corpus and over every input that once failed.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hardening {

using TViolation = std::optional<std::string>;

// SplitReplyFields under both end rules agrees with a plain reading of the splitting
// rule, and every field is a trimmed view into the reply.
TViolation CheckReplySplitting(std::string_view reply);

// Each decoder completes or stops with toolkit::EConvertError; it logs a prefix of the
// reply's fields in order, and every value it sets is one a label may show.
TViolation CheckReplyDecoders(std::string_view reply);

// StrToInt and StrToFloat accept exactly the number grammar and refuse the rest with
// EConvertError; whatever FloatToStr writes, StrToFloat reads back to the same text.
TViolation CheckConversions(std::string_view text);

// Typed sizes and a scale value, one per line (test X, test Y, measured X, measured Y,
// scale): building the test cut, the corrected cut and the scale write refuses with
// EConvertError only, and every command built is plain HP-GL or dot command that the
// virtual cutter executes as the sizes and scale asked.
TViolation CheckCommandBuilding(std::string_view lines);

// The virtual cutter's reader finds the same commands however the bytes are split across
// writes, holds bounded memory, and the cutter ends in the same state either way. The
// first byte chooses the split.
TViolation CheckCutterReader(std::string_view bytes);

// The session's reply collection under the shell's rule, fed these bytes through the
// in-process serial link in pieces and pauses the input chooses: every value signal
// carries one whole reply of the query sent, the first bytes since it went out, and
// reports that reply's values alone.
TViolation CheckReplyCollection(std::string_view input);

// The check of a target by its name (the corpus folder's name); null for an unknown one.
using TCheck = TViolation (*)(std::string_view input);
TCheck CheckNamed(std::string_view target);

// Input bytes as a text, each byte one character.
inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

} // namespace hardening
