// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/reply_decoding.h"
#include "tests/support/comma_locale.h"
#include "toolkit/conversions.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using protocol::CutterSettings;
using toolkit::EConvertError;

// Settings as a previous exchange left them, so tests can see what a decoder kept.
CutterSettings EarlierSettings() {
    CutterSettings settings;
    settings.PollSizeX = "old X";
    settings.PollSizeY = "old Y";
    settings.MediaWeight = "old weight";
    settings.Force = "old force";
    settings.Offset = "old offset";
    settings.Quality = "old quality";
    settings.Smooth = "old smooth";
    settings.AutoUnroll = "old unroll";
    settings.MediaType = "old type";
    settings.FirmwareModel = "old model";
    settings.FirmwareVersion = "old version";
    settings.ScaleX = 7;
    settings.ScaleY = 8;
    return settings;
}

using TDecoder = std::function<void(std::string_view, CutterSettings&, const protocol::TFieldLog&)>;

// Runs a decoder with a recording log; returns the conversion error's message, if any.
struct TDecodeRun {
    CutterSettings Settings = EarlierSettings();
    std::vector<std::string> Logged;
    std::string Error;

    TDecodeRun(const TDecoder& decoder, std::string_view reply) {
        try {
            decoder(reply, Settings,
                    [this](std::string_view field) { Logged.emplace_back(field); });
        } catch (const EConvertError& error) {
            Error = error.what();
        }
    }
};

const TDecoder kSize = protocol::DecodeSizeReply;
const TDecoder kSettings = protocol::DecodeSettingsReply;
const TDecoder kScale = protocol::DecodeScaleReply;

// --- media size ---

struct SizeCase {
    const char* reply;
    const char* x;
    const char* y;
};

void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << testing::PrintToString(c.reply);
}

// The largest width is scaled in extended precision and then held as a double
// (53687091.174999...); scaling in double alone would show .18.
class SizeReplyLabels : public testing::TestWithParam<SizeCase> {};

TEST_P(SizeReplyLabels, ShowWholeMillimetresOrTwoDecimalsWhenAFractionIsAbove) {
    const TDecodeRun run(kSize, GetParam().reply);
    EXPECT_EQ(run.Error, "");
    EXPECT_EQ(run.Settings.PollSizeX, GetParam().x);
    EXPECT_EQ(run.Settings.PollSizeY, GetParam().y);
}

INSTANTIATE_TEST_SUITE_P(Replies, SizeReplyLabels,
                         testing::Values(SizeCase{"0,0,24000,50000\r", "600 mm", "1250 mm"},
                                         SizeCase{"0,0,24010,100\r", "600.25 mm", " 2.50 mm"},
                                         SizeCase{"0,0,-50,-40\r", "-1 mm", "-1 mm"},
                                         SizeCase{"0,0,30,1\r", " 0.75 mm", " 0.03 mm"},
                                         SizeCase{"0,0,0,-30\r", "0 mm", "0 mm"},
                                         SizeCase{"-100,+40,2147483647,-2147483648",
                                                  "53687091.18 mm", "-53687091 mm"}));

TEST(SizeReply, LogsEveryFieldInOrder) {
    const TDecodeRun run(kSize, " 0, 0,24000,50000 \r");
    EXPECT_EQ(run.Logged, (std::vector<std::string>{"0", "0", "24000", "50000"}));
}

TEST(SizeReply, DecimalFieldStopsAtThatFieldAfterLoggingIt) {
    const TDecodeRun run(kSize, "0,0,24000.5,100\r");
    EXPECT_EQ(run.Error, "'24000.5' is not a valid integer value");
    EXPECT_EQ(run.Logged, (std::vector<std::string>{"0", "0", "24000.5"}));
    EXPECT_EQ(run.Settings.PollSizeX, "old X");
    EXPECT_EQ(run.Settings.PollSizeY, "old Y");
}

TEST(SizeReply, NonNumericFirstFieldChangesNothing) {
    const TDecodeRun run(kSize, "x,0,24000,100\r");
    EXPECT_EQ(run.Error, "'x' is not a valid floating point value");
    EXPECT_EQ(run.Logged, std::vector<std::string>{"x"});
    EXPECT_EQ(run.Settings.PollSizeX, "old X");
}

TEST(SizeReply, FailureAtTheHeightKeepsTheWidthJustSet) {
    const TDecodeRun run(kSize, "0,0,24000,abc\r");
    EXPECT_EQ(run.Error, "'abc' is not a valid floating point value");
    EXPECT_EQ(run.Settings.PollSizeX, "600 mm");
    EXPECT_EQ(run.Settings.PollSizeY, "old Y");
}

TEST(SizeReply, LineFeedAfterReturnSetsBothSizesThenStopsAtTheEmptyFifthField) {
    const TDecodeRun run(kSize, "0,0,24000,50000\r\n");
    EXPECT_EQ(run.Error, "'' is not a valid floating point value");
    EXPECT_EQ(run.Logged.size(), 5u);
    EXPECT_EQ(run.Settings.PollSizeX, "600 mm");
    EXPECT_EQ(run.Settings.PollSizeY, "1250 mm");
}

TEST(SizeReply, FieldsMissingFromAShortReplyKeepTheirText) {
    const TDecodeRun run(kSize, "0,0,24000");
    EXPECT_EQ(run.Error, "");
    EXPECT_EQ(run.Settings.PollSizeX, "600 mm");
    EXPECT_EQ(run.Settings.PollSizeY, "old Y");
}

TEST(SizeReply, EmptyReplyChangesAndLogsNothing) {
    const TDecodeRun run(kSize, "");
    EXPECT_EQ(run.Error, "");
    EXPECT_TRUE(run.Logged.empty());
    EXPECT_EQ(run.Settings.PollSizeX, "old X");
}

// --- settings ---

TEST(SettingsReply, FullReplyShowsEveryValue) {
    const TDecodeRun run(kSettings, "0,30,80,250,5,1,0,2\r");
    EXPECT_EQ(run.Error, "");
    const CutterSettings& s = run.Settings;
    EXPECT_EQ(s.MediaWeight, "Light");
    EXPECT_EQ(s.Force, "80");
    EXPECT_EQ(s.Offset, "0.250 mm");
    EXPECT_EQ(s.Quality, "Draft");
    EXPECT_EQ(s.Smooth, "Enable");
    EXPECT_EQ(s.AutoUnroll, "Disable");
    EXPECT_EQ(s.MediaType, "Roll");
    EXPECT_EQ(run.Logged, (std::vector<std::string>{"0", "30", "80", "250", "5", "1", "0", "2"}));
}

TEST(SettingsReply, LastFieldWithoutReturnLosesItsLastCharacter) {
    const TDecodeRun run(kSettings, "0,30,80,250,5,1,0,2");
    EXPECT_EQ(run.Settings.MediaType, "Single");
    EXPECT_EQ(run.Logged.back(), "");
}

TEST(SettingsReply, OtherValuesGiveTheOtherTexts) {
    const TDecodeRun run(kSettings, "0,31,x y,1500,05,0,1,1,9\r");
    EXPECT_EQ(run.Error, "");
    const CutterSettings& s = run.Settings;
    EXPECT_EQ(s.MediaWeight, "Heavy");
    EXPECT_EQ(s.Force, "x y");
    EXPECT_EQ(s.Offset, "1.500 mm");
    EXPECT_EQ(s.Quality, "Fine");
    EXPECT_EQ(s.Smooth, "Disable");
    EXPECT_EQ(s.AutoUnroll, "Enable");
    EXPECT_EQ(s.MediaType, "Single");
    EXPECT_EQ(run.Logged.size(), 9u);
}

TEST(SettingsReply, ComparisonsAreExactAfterTrimming) {
    const TDecodeRun trimmed(kSettings, "0,30,80,250, 5 , 1 ,1\t, 2 \r");
    EXPECT_EQ(trimmed.Settings.Quality, "Draft");
    EXPECT_EQ(trimmed.Settings.Smooth, "Enable");
    EXPECT_EQ(trimmed.Settings.AutoUnroll, "Enable");
    EXPECT_EQ(trimmed.Settings.MediaType, "Roll");
    const TDecodeRun similar(kSettings, "0,30,80,250,5.0,01,+1,2.\r");
    EXPECT_EQ(similar.Settings.Quality, "Fine");
    EXPECT_EQ(similar.Settings.Smooth, "Disable");
    EXPECT_EQ(similar.Settings.AutoUnroll, "Disable");
    EXPECT_EQ(similar.Settings.MediaType, "Single");
}

struct OffsetCase {
    const char* field;
    const char* label;
};

void PrintTo(const OffsetCase& c, std::ostream* os) {
    *os << c.field;
}

class SettingsOffset : public testing::TestWithParam<OffsetCase> {};

TEST_P(SettingsOffset, IsThousandthsShownWithThreeDecimals) {
    const TDecodeRun run(kSettings, std::string("0,30,80,") + GetParam().field + ",5\r");
    EXPECT_EQ(run.Error, "");
    EXPECT_EQ(run.Settings.Offset, GetParam().label);
}

INSTANTIATE_TEST_SUITE_P(Fields, SettingsOffset,
                         testing::Values(OffsetCase{"250", "0.250 mm"}, OffsetCase{"0", "0.000 mm"},
                                         OffsetCase{"-250", "-0.250 mm"},
                                         OffsetCase{"12345", "12.345 mm"},
                                         OffsetCase{"2.5e2", "0.250 mm"}));

TEST(SettingsReply, NonNumericWeightStopsThereKeepingEverythingAfter) {
    const TDecodeRun run(kSettings, "0,abc,80,250,5,1,0,2\r");
    EXPECT_EQ(run.Error, "'abc' is not a valid integer value");
    EXPECT_EQ(run.Logged, (std::vector<std::string>{"0", "abc"}));
    const CutterSettings& s = run.Settings;
    EXPECT_EQ(s.MediaWeight, "old weight");
    EXPECT_EQ(s.Force, "old force");
    EXPECT_EQ(s.MediaType, "old type");
}

TEST(SettingsReply, NonNumericOffsetStopsAfterWeightAndForce) {
    const TDecodeRun run(kSettings, "0,30,80,0.25mm,5,1,0,2\r");
    EXPECT_EQ(run.Error, "'0.25mm' is not a valid floating point value");
    EXPECT_EQ(run.Settings.MediaWeight, "Light");
    EXPECT_EQ(run.Settings.Force, "80");
    EXPECT_EQ(run.Settings.Offset, "old offset");
    EXPECT_EQ(run.Settings.Quality, "old quality");
}

// --- firmware model ---

TEST(ModelReply, VersionIsTheTextBeforeItsFirstSpace) {
    CutterSettings settings = EarlierSettings();
    protocol::DecodeModelReply("x,y, CM-24 ,2.10 0305 A,z\r", settings);
    EXPECT_EQ(settings.FirmwareModel, "CM-24");
    EXPECT_EQ(settings.FirmwareVersion, "2.10");
    EXPECT_EQ(settings.FirmwareVersionField, "2.10 0305 A");
}

TEST(ModelReply, VersionWithoutSpaceIsTheWholeField) {
    CutterSettings settings = EarlierSettings();
    protocol::DecodeModelReply("x,y,CM-24,2.10\r", settings);
    EXPECT_EQ(settings.FirmwareVersion, "2.10");
}

TEST(ModelReply, MissingFieldsKeepTheirText) {
    CutterSettings settings = EarlierSettings();
    protocol::DecodeModelReply("x,y,CM-24", settings);
    EXPECT_EQ(settings.FirmwareModel, "CM-24");
    EXPECT_EQ(settings.FirmwareVersion, "old version");
    protocol::DecodeModelReply("", settings);
    EXPECT_EQ(settings.FirmwareModel, "CM-24");
}

// --- scale values ---

TEST(ScaleReply, SetsBothScalesAndLogsTheUnconvertedFirstField) {
    const TDecodeRun run(kScale, "V1,1000,998\r");
    EXPECT_EQ(run.Error, "");
    EXPECT_EQ(run.Settings.ScaleX, 1000);
    EXPECT_EQ(run.Settings.ScaleY, 998);
    EXPECT_EQ(run.Logged, (std::vector<std::string>{"V1", "1000", "998"}));
}

TEST(ScaleReply, NonIntegerYKeepsTheXJustSet) {
    const TDecodeRun run(kScale, "0,1000,99.8\r");
    EXPECT_EQ(run.Error, "'99.8' is not a valid integer value");
    EXPECT_EQ(run.Settings.ScaleX, 1000);
    EXPECT_EQ(run.Settings.ScaleY, 8);
}

TEST(ScaleReply, EmptyXStopsWithNothingSet) {
    const TDecodeRun run(kScale, "0,,998\r");
    EXPECT_EQ(run.Error, "'' is not a valid integer value");
    EXPECT_EQ(run.Settings.ScaleX, 7);
    EXPECT_EQ(run.Settings.ScaleY, 8);
}

// One whole reply of the query sent, or the fault that makes it none: the kind's field
// count, numbers where the decoder reads numbers, the line ended by CR or CR LF and
// nothing after. A scale reading takes plain integers only: it feeds a flash write.
TEST(WholeReply, IsTheQuerysFieldsEndedByTheLineAndNothingElse) {
    using enum protocol::TReplyFault;
    const std::tuple<protocol::TCommandCode, std::string, protocol::TReplyFault> replies[] = {
        {protocol::ccPollSize, "0,0,24000,50000\r", rfNone},
        {protocol::ccPollSize, "0,0,24000,50000\r\n", rfNone},
        {protocol::ccPollSize, "0,0,-50,+40\r", rfNone},
        {protocol::ccPollSize, "0,30,80,250,5,1,0,2\r", rfFieldCount}, // a late settings reply
        {protocol::ccPollSize, "0,0,24000,50000,0,0\r", rfFieldCount},
        {protocol::ccPollSize, "0,0,24000,5", rfUnended},              // split by a pause
        {protocol::ccPollSize, "9,9,0,0,24000,50000\r", rfFieldCount}, // led by noise
        {protocol::ccPollSize, "0,0,24000,500000,0,24000,500000,0,24000,50000", rfUnended},
        {protocol::ccPollSize, "0,0,24000.5,100\r", rfNotANumber},
        {protocol::ccPollSize,
         "\x1b"
         "0,0,24000,50000\r",
         rfNotANumber},
        {protocol::ccPollSize, "0,0,24000,50000\r0,0", rfAfterReturn},
        {protocol::ccPollSize, "0,0,24000,50000\r\r\n", rfAfterReturn},
        {protocol::ccPollSize, "0,0;5,24000,50000\r", rfStrayDelimiter},
        {protocol::ccPollSize, "", rfUnended},
        {protocol::ccSettingsQuery, "0,30,80,250,5,1,0,2\r", rfNone},
        {protocol::ccSettingsQuery, "0,30,80,250,5,1,0,2\r\n", rfNone},
        {protocol::ccSettingsQuery, "x,31,x y,2.5e2,05,,+1,9\r", rfNone},
        {protocol::ccSettingsQuery, "0,30,80,250,5,1,0,2", rfUnended}, // no CR
        {protocol::ccSettingsQuery, "0,30,95\r", rfFieldCount},
        {protocol::ccSettingsQuery, "0,40\r", rfFieldCount},
        {protocol::ccSettingsQuery, "0,0,24000,50000\r", rfFieldCount},
        {protocol::ccSettingsQuery, "0,30,80,250,5,1,0,2,7\r", rfFieldCount},
        {protocol::ccSettingsQuery, "0,abc,80,250,5,1,0,2\r", rfNotANumber},
        {protocol::ccSettingsQuery, "0, 30,80,250,5,1,0,2\r", rfNotANumber},
        {protocol::ccSettingsQuery, "0,30,80,0.25mm,5,1,0,2\r", rfNotANumber},
        {protocol::ccSettingsQuery, "0,30,80,250,5,1,0,2\n", rfUnended},
        {protocol::ccFirmwareQuery, "0,0,TC-60,2.10 0305\r\n", rfNone},
        {protocol::ccFirmwareQuery, "0,0,TC-60,2.10 0305,x,y\r", rfNone},
        {protocol::ccFirmwareQuery, "0,0,TC-60\r", rfFieldCount},
        {protocol::ccFirmwareQuery, "0,0,TC-60,2.10 0305", rfUnended},
        {protocol::ccScaleQuery, "0,1000,998\r", rfNone},
        {protocol::ccScaleQuery, "0,1000,998\r\n", rfNone},
        {protocol::ccScaleQuery, "0,31,258,511,4,1,1,2\r", rfFieldCount},
        {protocol::ccScaleQuery, "0,1000,998", rfUnended},
        {protocol::ccScaleQuery, "0,1000,998\n", rfUnended},
        {protocol::ccScaleQuery, "0,1000,998\r\n\n", rfAfterReturn},
        {protocol::ccScaleQuery, "0,1000\r", rfFieldCount},
        {protocol::ccScaleQuery, "0,1000,998,7\r\n", rfFieldCount},
        {protocol::ccScaleQuery, "0,10a0,998\r", rfNotANumber},
        {protocol::ccScaleQuery, "0,-1000,998\r", rfNotANumber},
        {protocol::ccScaleQuery, "0,1000,,998\r", rfFieldCount},
        {protocol::ccScaleQuery, "0,1000,99999999999\r", rfNotANumber},
        {protocol::ccScaleQuery, "0,0,TC-60,2.10 0305\r\n", rfFieldCount},
        {protocol::ccScaleQuery, "0,1000,998\r5", rfAfterReturn},
        {protocol::ccSettingsQuery, "0,30,80,250,5\n,1,0,2\r", rfStrayDelimiter},
        // A blank beside a number is no part of it, and no number field holds one.
        {protocol::ccPollSize, "0,0,24000 ,50000\r", rfNotANumber},
        {protocol::ccSettingsQuery, "0,30,80, 250,5,1,0,2\r", rfNotANumber},
        {protocol::ccScaleQuery, "0,1000 ,998\r", rfNotANumber},
    };
    for (const auto& [query, reply, fault] : replies) {
        EXPECT_EQ(protocol::ReplyFault(query, reply), fault) << testing::PrintToString(reply);
        EXPECT_EQ(protocol::IsWholeReply(query, reply), fault == rfNone) << reply;
    }
    EXPECT_TRUE(protocol::IsScaleReading("0,1000,998\r"));
    EXPECT_FALSE(protocol::IsScaleReading("0,1000,998"));
}

// The second reading must repeat the first byte for byte; the read-back must be a reading
// of the values written, in either line ending.
TEST(ScaleReply, ReadingsAgreeOnlyByteForByteAndAReadBackOnlyWithTheValuesWritten) {
    const std::tuple<const char*, const char*, bool> readings[] = {
        {"0,1000,998\r", "0,1000,998\r", true}, {"0,1000,998\r\n", "0,1000,998\r\n", true},
        {"0,1000,998\r", "0,100,998\r", false}, {"0,1000,998\r", "0,1000,998\r\n", false},
        {"0,1000,998", "0,1000,998", false},    {"", "", false},
    };
    for (const auto& [first, second, agree] : readings) {
        EXPECT_EQ(protocol::ScaleReadingsAgree(first, second), agree) << first << second;
    }
    const std::pair<const char*, bool> readBacks[] = {
        {"0,1010,995\r", true},   {"0,1010,995\r\n", true}, {"0,01010,995\r", true},
        {"0,1000,1000\r", false}, {"0,995,1010\r", false},  {"0,1010,9950\r", false},
        {"0,1010,995", false},    {"0,1010\r", false},      {"", false},
    };
    for (const auto& [reply, matches] : readBacks) {
        EXPECT_EQ(protocol::ReadBackMatches(reply, 1010, 995), matches) << reply;
    }
}

// --- locale ---

TEST_F(CommaLocale, DecodedNumbersKeepThePoint) {
    const TDecodeRun size(kSize, "0,0,24010,100\r");
    EXPECT_EQ(size.Settings.PollSizeX, "600.25 mm");
    EXPECT_EQ(size.Settings.PollSizeY, " 2.50 mm");
    const TDecodeRun settings(kSettings, "0,30,80,250,5\r");
    EXPECT_EQ(settings.Settings.Offset, "0.250 mm");
}

} // namespace
