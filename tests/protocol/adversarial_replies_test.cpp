// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/reply_decoding.h"
#include "toolkit/conversions.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using protocol::CutterSettings;

// Every decoder must finish or stop with a conversion error, whatever bytes arrive;
// the sanitizers catch any read outside the reply.
void DecodeWithEveryDecoder(const std::string& reply) {
    SCOPED_TRACE(testing::PrintToString(reply.substr(0, 40)));
    CutterSettings settings;
    std::size_t logged = 0;
    const protocol::TFieldLog log = [&logged, &reply](std::string_view field) {
        EXPECT_GE(field.data(), reply.data());
        EXPECT_LE(field.data() + field.size(), reply.data() + reply.size());
        ++logged;
    };
    try {
        protocol::DecodeSizeReply(reply, settings, log);
    } catch (const toolkit::EConvertError&) {
    }
    try {
        protocol::DecodeSettingsReply(reply, settings, log);
    } catch (const toolkit::EConvertError&) {
    }
    try {
        protocol::DecodeScaleReply(reply, settings, log);
    } catch (const toolkit::EConvertError&) {
    }
    protocol::DecodeModelReply(reply, settings);
    EXPECT_LE(logged, 3 * (reply.size() + 1));
}

std::vector<std::string> HandPickedReplies() {
    return {"",
            ",",
            ";",
            "\r",
            ",,,,,,,,,,",
            ";;;;;;;;;;",
            "\r\r\r\r\r",
            ",;\r,;\r",
            "\xff\xff\xff\xff",
            "\xff,\xff;\xff\r",
            std::string(8, '\0'),
            "0,0,99999999999999999999999999,1\r",
            "0,1e999999999,2,3",
            "0,0,-,+",
            "0,0,nan,inf",
            "0,0,0x10,1",
            std::string(100000, '7'),
            "0,0," + std::string(100000, '9') + ",1\r",
            std::string(200000, ';')};
}

TEST(AdversarialReplies, HandPickedInputsOnlyEverFailAsConversionErrors) {
    for (const std::string& reply : HandPickedReplies()) {
        EXPECT_NO_THROW(DecodeWithEveryDecoder(reply));
    }
}

TEST(AdversarialReplies, RandomBytesOnlyEverFailAsConversionErrors) {
    std::mt19937 random(20240611);
    const std::string alphabet = ",,;;\r\r\n 0123456789+-.eE\x01\x7f\xff";
    std::uniform_int_distribution<std::size_t> length(0, 48);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> anyByte(0, 255);
    for (int round = 0; round < 3000; ++round) {
        std::string reply;
        const std::size_t size = length(random);
        for (std::size_t i = 0; i < size; ++i) {
            reply += round % 3 == 0 ? static_cast<char>(anyByte(random)) : alphabet[pick(random)];
        }
        EXPECT_NO_THROW(DecodeWithEveryDecoder(reply));
    }
}

TEST(AdversarialReplies, LongDelimiterRunsSplitIntoOneFieldEach) {
    EXPECT_EQ(protocol::SplitReplyFields(std::string(200000, ';'), protocol::erWholeTail).size(),
              200000u);
    EXPECT_EQ(protocol::SplitReplyFields(std::string(200000, '\r'), protocol::erShortTail).size(),
              200000u);
}

} // namespace
