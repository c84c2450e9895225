// SPDX-License-Identifier: GPL-3.0-or-later
// The fuzz targets' checks over their seed corpus and over every input that once broke
// one (tests/hardening/regressions/<target>/), in the normal build; then the faults those
// inputs found, spelled out.

#include "fuzz/fuzz_properties.h"
#include "protocol/commands.h"
#include "tests/hardening/hardening_support.h"
#include "toolkit/conversions.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace hardening::test {

namespace {

namespace fs = std::filesystem;
using toolkit::EConvertError;

struct TFuzzInput {
    std::string Target;
    fs::path File;
};

void PrintTo(const TFuzzInput& input, std::ostream* os) {
    *os << input.Target << "/" << input.File.filename().string();
}

// Every file under <folder>/<target>/ of the seed corpus and of the regression inputs.
std::vector<TFuzzInput> FuzzInputs() {
    std::vector<TFuzzInput> inputs;
    for (const fs::path& folder : {fs::path(SourceDir()) / "fuzz" / "corpus",
                                   fs::path(SourceDir()) / "tests" / "hardening" / "regressions"}) {
        for (const auto& target : fs::directory_iterator(folder)) {
            for (const auto& file : fs::directory_iterator(target.path())) {
                inputs.push_back({target.path().filename().string(), file.path()});
            }
        }
    }
    return inputs;
}

std::string Contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FuzzInput : public testing::TestWithParam<TFuzzInput> {};

TEST_P(FuzzInput, KeepsEveryCheckOfItsTarget) {
    const TCheck check = CheckNamed(GetParam().Target);
    ASSERT_NE(check, nullptr) << "no check is named " << GetParam().Target;
    const TViolation violation = check(Contents(GetParam().File));
    EXPECT_FALSE(violation.has_value()) << *violation;
}

INSTANTIATE_TEST_SUITE_P(SeedsAndRegressions, FuzzInput, testing::ValuesIn(FuzzInputs()),
                         [](const auto& info) {
                             std::string name =
                                 info.param.Target + "_" + info.param.File.filename().string();
                             for (char& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

TEST(FloatToStrOfTheLargestDoubles, ReadsBackAsANumber) {
    for (const double value : {DBL_MAX, -DBL_MAX, 1.797693134862315e308}) {
        const std::string written = toolkit::FloatToStr(value);
        SCOPED_TRACE(written);
        EXPECT_NO_THROW(EXPECT_NEAR(toolkit::StrToFloat(written), value, std::fabs(value) * 1e-14));
    }
}

struct TLengthCase {
    const char* Text;
    bool Accepted;
};

class TypedLength : public testing::TestWithParam<TLengthCase> {};

// Below one plotter unit the text was written with an exponent (4e-06); beyond 2^30 - 1
// units the cutter cannot take the coordinate.
TEST_P(TypedLength, IsAcceptedOnlyAsAPlainCoordinateTheCutterTakes) {
    if (GetParam().Accepted) {
        const double units = protocol::LengthUnitsFromText(GetParam().Text, "Test size X");
        EXPECT_EQ(toolkit::FloatToStr(units).find('e'), std::string::npos);
        return;
    }
    try {
        protocol::LengthUnitsFromText(GetParam().Text, "Test size X");
        ADD_FAILURE() << "accepted";
    } catch (const EConvertError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Test size X: the size must be from 0.025 to 26843545.575 mm ('" +
                      std::string(GetParam().Text) + "')");
    }
}

INSTANTIATE_TEST_SUITE_P(Bounds, TypedLength,
                         testing::Values(TLengthCase{"0.0000001", false},
                                         TLengthCase{"0.024", false}, TLengthCase{"0.025", true},
                                         TLengthCase{"26843545.55", true},
                                         TLengthCase{"26843545.6", false},
                                         TLengthCase{"5e10", false}));

TEST(CorrectedLength, BeyondTheCoordinateRangeIsRefused) {
    // A 50055 mm test measured as 50 mm would cut 2004402420 units: within 32 bits, but
    // beyond what an HP-GL coordinate may be.
    EXPECT_THROW(protocol::CorrectedLength(2002200, 2000), EConvertError);
    EXPECT_EQ(protocol::CorrectedLength(1073741823, 1073741823), 1073741823);
}

} // namespace

} // namespace hardening::test
