// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/comma_locale.h"
#include "toolkit/conversions.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <locale>
#include <ostream>
#include <string>

namespace {

using toolkit::EConvertError;
using toolkit::FloatToStr;
using toolkit::StrToFloat;
using toolkit::StrToInt;

std::string ConvertErrorOf(void (*convert)(const std::string&), const std::string& text) {
    try {
        convert(text);
    } catch (const EConvertError& error) {
        return error.what();
    }
    return "no error";
}

void CallStrToInt(const std::string& text) {
    StrToInt(text);
}
void CallStrToFloat(const std::string& text) {
    StrToFloat(text);
}

struct IntCase {
    const char* text;
    int value;
};

void PrintTo(const IntCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class StrToIntAccepts : public testing::TestWithParam<IntCase> {};

TEST_P(StrToIntAccepts, SignedDecimalWithinThirtyTwoBits) {
    EXPECT_EQ(StrToInt(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, StrToIntAccepts,
                         testing::Values(IntCase{"0", 0}, IntCase{"30", 30}, IntCase{"+7", 7},
                                         IntCase{"-50", -50}, IntCase{"007", 7},
                                         IntCase{"2147483647", 2147483647},
                                         IntCase{"-2147483648", std::numeric_limits<int>::min()},
                                         IntCase{"-0", 0},
                                         IntCase{"00000000000000000000024000", 24000}));

class StrToIntRefuses : public testing::TestWithParam<const char*> {};

TEST_P(StrToIntRefuses, WithTheClassicMessageNamingTheText) {
    const std::string text = GetParam();
    EXPECT_EQ(ConvertErrorOf(CallStrToInt, text), "'" + text + "' is not a valid integer value");
}

INSTANTIATE_TEST_SUITE_P(Texts, StrToIntRefuses,
                         testing::Values("", " ", "+", "-", "2147483648", "-2147483649",
                                         "99999999999999999999", "24000.5", "1e3", " 5", "5 ",
                                         "abc", "12a", "0x10", "$10", "--5", "+-5", "5-", "1,000"));

struct FloatCase {
    const char* text;
    double value;
};

void PrintTo(const FloatCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class StrToFloatAccepts : public testing::TestWithParam<FloatCase> {};

TEST_P(StrToFloatAccepts, DecimalWithPointAndExponent) {
    EXPECT_DOUBLE_EQ(StrToFloat(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StrToFloatAccepts,
    testing::Values(FloatCase{"100", 100.0}, FloatCase{"10.01", 10.01}, FloatCase{"-2.5", -2.5},
                    FloatCase{"+2.5", 2.5}, FloatCase{".5", 0.5}, FloatCase{"5.", 5.0},
                    FloatCase{"1e3", 1000.0}, FloatCase{"2.5E-2", 0.025}, FloatCase{"1e+2", 100.0},
                    FloatCase{"  50.5  ", 50.5}, FloatCase{"24000", 24000.0},
                    FloatCase{"1.7976931348623157e308", 1.7976931348623157e308}));

class StrToFloatRefuses : public testing::TestWithParam<const char*> {};

TEST_P(StrToFloatRefuses, WithTheClassicMessageNamingTheText) {
    const std::string text = GetParam();
    EXPECT_EQ(ConvertErrorOf(CallStrToFloat, text),
              "'" + text + "' is not a valid floating point value");
}

INSTANTIATE_TEST_SUITE_P(Texts, StrToFloatRefuses,
                         testing::Values("", "   ", ".", "-", "+", "e5", "1e", "1e+", "2,5",
                                         "1.2.3", "abc", "12mm", "nan", "NaN", "inf", "-infinity",
                                         "0x1p3", "1e400", "-1e400", "+-1", "\t5", "5\n", "1 000"));

TEST(StrToFloat, NumberTextWithNulInsideIsRefused) {
    const std::string text("5\0"
                           "1",
                           3);
    EXPECT_THROW(StrToFloat(text), EConvertError);
    EXPECT_THROW(StrToInt(text), EConvertError);
}

struct FormatCase {
    double value;
    const char* text;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class FloatToStrWrites : public testing::TestWithParam<FormatCase> {};

TEST_P(FloatToStrWrites, ShortestFormWithFifteenDigitsAtMost) {
    EXPECT_EQ(FloatToStr(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Values, FloatToStrWrites,
                         testing::Values(FormatCase{4000.0, "4000"}, FormatCase{2000.0, "2000"},
                                         FormatCase{400.4, "400.4"},
                                         FormatCase{10.01 * 40, "400.4"},
                                         FormatCase{0.1 * 3, "0.3"}, FormatCase{-0.5, "-0.5"},
                                         FormatCase{0.0, "0"}, FormatCase{-0.0, "0"},
                                         FormatCase{1.0 / 3.0, "0.333333333333333"},
                                         FormatCase{123456789012345.0, "123456789012345"},
                                         FormatCase{2020.0000000000002, "2020"}));

TEST_F(CommaLocale, ConversionsStillUseThePoint) {
    ASSERT_EQ(*std::localeconv()->decimal_point, ',');
    EXPECT_DOUBLE_EQ(StrToFloat("10.01"), 10.01);
    EXPECT_THROW(StrToFloat("10,01"), EConvertError);
    EXPECT_EQ(FloatToStr(400.4), "400.4");
    EXPECT_EQ(StrToInt("-2147483648"), std::numeric_limits<int>::min());
}

} // namespace
