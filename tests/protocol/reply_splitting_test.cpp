// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/reply_decoding.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using protocol::erShortTail;
using protocol::erWholeTail;
using protocol::SplitReplyFields;
using protocol::TEndRule;

struct SplitCase {
    const char* name;
    std::string reply;
    TEndRule rule;
    std::vector<std::string> fields;
};

void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<std::string> Copied(const std::vector<std::string_view>& views) {
    return {views.begin(), views.end()};
}

class SplitReply : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitReply, GivesTheFieldsInOrder) {
    EXPECT_EQ(Copied(SplitReplyFields(GetParam().reply, GetParam().rule)), GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SplitReply,
    testing::Values(
        SplitCase{"EmptyReplyHasNoFields", "", erWholeTail, {}},
        SplitCase{"EmptyReplyHasNoFieldsUnderShortTail", "", erShortTail, {}},
        SplitCase{"CarriageReturnEndsTheLastField",
                  "0,0,24000,50000\r",
                  erWholeTail,
                  {"0", "0", "24000", "50000"}},
        SplitCase{"LineFeedAfterReturnIsAFifthEmptyField",
                  "0,0,24000,50000\r\n",
                  erWholeTail,
                  {"0", "0", "24000", "50000", ""}},
        SplitCase{"CommaIsSoughtBeforeSemicolon", "1;2,3", erWholeTail, {"1", "3"}},
        SplitCase{"EmptyFieldCounts", "1,,3", erWholeTail, {"1", "", "3"}},
        SplitCase{"ShortTailDropsTheLastCharacter", "1;2,3", erShortTail, {"1", ""}},
        SplitCase{
            "ShortTailDropsTheLastCharacterAfterAnEmptyField", "1,,3", erShortTail, {"1", "", ""}},
        SplitCase{"ShortTailKeepsAllButTheLastCharacter", "0,abc", erShortTail, {"0", "ab"}},
        SplitCase{"ShortTailKeepsAFieldEndedByReturn", "0,2\r", erShortTail, {"0", "2"}},
        SplitCase{"SemicolonsSplitWhenThereIsNoComma", "a;b;c", erWholeTail, {"a", "b", "c"}},
        SplitCase{
            "ReturnsSplitWhenThereIsNeitherCommaNorSemicolon", "a\rb\r", erWholeTail, {"a", "b"}},
        SplitCase{"SemicolonIsSoughtBeforeReturn", "a\rb;c", erWholeTail, {"a", "c"}},
        SplitCase{"BlanksAndControlsAreTrimmedFromBothEnds",
                  " 5 ,\t6\x01,\x7f",
                  erWholeTail,
                  {"5", "6", "\x7f"}},
        SplitCase{"InnerBlanksStay", "2.10 0305,x", erWholeTail, {"2.10 0305", "x"}},
        SplitCase{"ReturnInsideAFieldCutsIt", "a\rb,c", erWholeTail, {"a", "c"}},
        SplitCase{"HighBytesAreNotTrimmed",
                  "\xff"
                  "1\xff,2",
                  erWholeTail,
                  {"\xff"
                   "1\xff",
                   "2"}},
        SplitCase{"LoneCommaIsOneEmptyField", ",", erWholeTail, {""}},
        SplitCase{"LoneCharacterUnderShortTailIsAnEmptyField", "x", erShortTail, {""}},
        SplitCase{"NulIsAControlCharacter",
                  std::string("\0"
                              "7\0,8",
                              5),
                  erWholeTail,
                  {"7", "8"}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

TEST(SplitReplyViews, FieldsPointIntoTheReply) {
    const std::string reply = " 0 ;x, 1000 ,998\r";
    for (const std::string_view field : SplitReplyFields(reply, erWholeTail)) {
        EXPECT_GE(field.data(), reply.data());
        EXPECT_LE(field.data() + field.size(), reply.data() + reply.size());
    }
}

} // namespace
