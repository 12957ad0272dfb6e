// The keypoint text: number formatting, the layout, what the project's reader makes of
// it. Writing the file is io's (tests/io).
#include "siftkey/key_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "keypoints/key_file.h"
#include "testing/case_name.h"

namespace siftkey {
namespace {

using test_support::CaseName;

constexpr double kPi = std::numbers::pi;

struct FixedCase {
    const char* name;
    double value;
    int decimals;
    const char* text;
};

class FormatFixedTest : public testing::TestWithParam<FixedCase> {};

TEST_P(FormatFixedTest, RoundsHalfAwayWithoutNegativeZero) {
    EXPECT_EQ(FormatFixed(GetParam().value, GetParam().decimals), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Table, FormatFixedTest,
                         testing::Values(FixedCase{"zero", 0.0, 2, "0.00"},
                                         FixedCase{"negative_zero", -0.0, 2, "0.00"},
                                         FixedCase{"tiny_negative", -0.004, 2, "0.00"},
                                         FixedCase{"half_away_up", 1.125, 2, "1.13"},
                                         FixedCase{"half_away_down", -1.125, 2, "-1.13"},
                                         FixedCase{"leading_zeros", 0.0625, 3, "0.063"},
                                         FixedCase{"small_negative", -0.25, 2, "-0.25"},
                                         FixedCase{"carry", 9.999, 2, "10.00"},
                                         FixedCase{"whole", 2.5, 0, "3"},
                                         FixedCase{"large", 65535.5, 2, "65535.50"}),
                         CaseName());

SiftKeypoint Key(float row, float col, float scale, float orientation, int first_byte) {
    SiftKeypoint k;
    k.row_px = row;
    k.col_px = col;
    k.scale_px = scale;
    k.orientation_rad = orientation;
    for (int i = 0; i < kDescriptorLength; ++i)
        k.descriptor[i] = static_cast<std::uint8_t>((first_byte + i) % 256);
    return k;
}

TEST(FormatKeyFileTest, HeaderThenFourRealsThenDescriptorInLinesOfTwenty) {
    const std::string text = FormatKeyFile({Key(120.5f, 330.171f, 2.4075f, -1.2031f, 250)});
    std::string expected = "1 128\n120.50 330.17 2.41 -1.203";
    for (int i = 0; i < kDescriptorLength; ++i) {
        if (i % 20 == 0) expected += "\n";
        expected += ' ';
        expected += std::to_string((250 + i) % 256);
    }
    EXPECT_EQ(text, expected + "\n");
}

struct OrientationCase {
    const char* name;
    float orientation_rad;
    const char* text;
};

class OrientationTextTest : public testing::TestWithParam<OrientationCase> {};

// Every written orientation lies in (-pi, pi], rounding included.
TEST_P(OrientationTextTest, StaysInHalfOpenRange) {
    const std::string text = FormatKeyFile({Key(1, 2, 3, GetParam().orientation_rad, 0)});
    const std::string first = text.substr(0, text.find('\n', 6));
    EXPECT_EQ(first, std::string("1 128\n1.00 2.00 3.00 ") + GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Table, OrientationTextTest,
                         testing::Values(OrientationCase{"pi", static_cast<float>(kPi), "3.141"},
                                         OrientationCase{"just_above_minus_pi", -3.14159f, "3.141"},
                                         OrientationCase{"minus_3141", -3.1412f, "-3.141"},
                                         OrientationCase{"zero", 0.0f, "0.000"},
                                         OrientationCase{"tiny_negative", -0.0002f, "0.000"},
                                         OrientationCase{"half_pi", static_cast<float>(kPi / 2),
                                                         "1.571"}),
                         CaseName());

// The project's reader reads back what was written, to the written precision.
TEST(FormatKeyFileTest, ProjectReaderReadsItBack) {
    std::vector<SiftKeypoint> keys;
    for (int i = 0; i < 50; ++i) {
        keys.push_back(Key(0.37f * i * i, 1000.0f - 13.3f * i, 0.8f + 0.5f * i,
                           static_cast<float>(-kPi + 0.001 + 0.128 * i), 7 * i));
    }
    const keypoints::KeyFileParse parsed = keypoints::ParseKeyText(FormatKeyFile(keys));
    ASSERT_EQ(parsed.status, keypoints::KeyFileStatus::ok);
    ASSERT_EQ(parsed.numfeatures, 50);
    ASSERT_EQ(parsed.dimensions, kDescriptorLength);
    ASSERT_EQ(parsed.keys.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const KeypointSt& p = parsed.keys[i];
        EXPECT_NEAR(p.row, keys[i].row_px, 0.005001);
        EXPECT_NEAR(p.col, keys[i].col_px, 0.005001);
        EXPECT_NEAR(p.scale, keys[i].scale_px, 0.005001);
        EXPECT_NEAR(std::remainder(p.ori - keys[i].orientation_rad, 2 * kPi), 0.0, 0.0006);
        EXPECT_GT(p.ori, -kPi);
        EXPECT_LE(p.ori, kPi);
        ASSERT_EQ(p.descrip.size(), 128u);
        for (int d = 0; d < kDescriptorLength; ++d) EXPECT_EQ(p.descrip[d], keys[i].descriptor[d]);
    }
}

}  // namespace
}  // namespace siftkey
