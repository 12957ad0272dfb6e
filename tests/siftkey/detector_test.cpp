// The detector's results in siftkey's conventions: position, scale and orientation of
// features placed at known spots, the behaviour under an exact rotation of the image,
// descriptor bytes, ordering, --max, --upright and repeatability across thread counts.
#include "siftkey/detector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "siftkey/key_writer.h"
#include "testing/case_name.h"
#include "tests/siftkey/synthetic_images.h"

namespace siftkey {
namespace {

using test_support::CaseName;

constexpr double kPi = std::numbers::pi;

// The keypoints within `radius_px` of (row, col).
std::vector<SiftKeypoint> Near(const std::vector<SiftKeypoint>& keys, double row, double col,
                               double radius_px) {
    std::vector<SiftKeypoint> near;
    for (const SiftKeypoint& k : keys) {
        if (std::hypot(k.row_px - row, k.col_px - col) <= radius_px) near.push_back(k);
    }
    return near;
}

double AngleDifference(double a, double b) { return std::remainder(a - b, 2.0 * kPi); }

struct BlobCase {
    const char* name;
    double row_px, col_px, sigma_px;
};

class BlobTest : public testing::TestWithParam<BlobCase> {};

// The centre of the top-left pixel is (0, 0): the keypoints of a blob lie on its centre,
// not a quarter pixel below and to the right as the detector reports them. The scale is
// the detector's sigma: the difference of the levels sigma and 2^(1/3) sigma peaks on a
// Gaussian blob of standard deviation s at sigma = s / 2^(1/6).
TEST_P(BlobTest, KeypointsSitOnTheCentreAtTheDetectorSigma) {
    const BlobCase& c = GetParam();
    const std::vector<SiftKeypoint> keys =
        DetectKeypoints(GaussianBlob(101, 91, c.row_px, c.col_px, c.sigma_px), {});
    const std::vector<SiftKeypoint> near = Near(keys, c.row_px, c.col_px, 1.0);
    ASSERT_FALSE(near.empty()) << keys.size() << " keypoints, none at the blob";
    const double expected_scale = c.sigma_px / std::pow(2.0, 1.0 / 6.0);
    for (const SiftKeypoint& k : near) {
        EXPECT_NEAR(k.row_px, c.row_px, 0.06);
        EXPECT_NEAR(k.col_px, c.col_px, 0.06);
        EXPECT_NEAR(k.scale_px, expected_scale, 0.03 * expected_scale);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, BlobTest,
                         testing::Values(BlobCase{"centred_sigma2", 45.0, 50.0, 2.0},
                                         BlobCase{"fraction_sigma3", 40.3, 55.7, 3.0},
                                         BlobCase{"quarter_sigma4", 47.25, 44.5, 4.0},
                                         BlobCase{"second_octave_sigma6", 45.0, 50.4, 6.0},
                                         BlobCase{"third_octave_sigma8", 44.6, 50.0, 8.0}),
                         CaseName());

struct DirectionCase {
    const char* name;
    double direction_rad;
};

class OrientationTest : public testing::TestWithParam<DirectionCase> {};

// Counter-clockwise on screen from the column axis: bright above dark gives +pi/2.
TEST_P(OrientationTest, FollowsTheGradientCounterClockwiseOnScreen) {
    const double direction = GetParam().direction_rad;
    const std::vector<SiftKeypoint> keys =
        DetectKeypoints(Dipole(81, 81, 40.0, 40.0, 4.0, 3.0, direction), {});
    ASSERT_FALSE(keys.empty());
    for (const SiftKeypoint& k : keys) {
        EXPECT_GT(k.orientation_rad, -kPi);
        EXPECT_LE(k.orientation_rad, kPi);
        EXPECT_NEAR(AngleDifference(k.orientation_rad, direction), 0.0, 0.05)
            << "at " << k.row_px << ", " << k.col_px;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, OrientationTest,
                         testing::Values(DirectionCase{"right", 0.0}, DirectionCase{"up", kPi / 2},
                                         DirectionCase{"up_left", 3 * kPi / 4},
                                         DirectionCase{"left", kPi},
                                         DirectionCase{"down", -kPi / 2},
                                         DirectionCase{"down_right", -kPi / 4}),
                         CaseName());

// Turning the image a quarter turn counter-clockwise on screen moves the pixel (r, c) of a
// W-column image to (W - 1 - c, r) and adds pi/2 to every orientation. The feature sits
// off-centre in an oblong frame, so a position offset or a flipped axis would show.
class RotationTest : public testing::TestWithParam<DirectionCase> {};

TEST_P(RotationTest, QuarterTurnMovesKeypointsAndAddsHalfPi) {
    const cv::Mat image = Dipole(121, 91, 37.3, 71.6, 4.0, 3.0, GetParam().direction_rad);
    cv::Mat turned;
    cv::rotate(image, turned, cv::ROTATE_90_COUNTERCLOCKWISE);
    const std::vector<SiftKeypoint> keys = DetectKeypoints(image, {});
    const std::vector<SiftKeypoint> turned_keys = DetectKeypoints(turned, {});
    ASSERT_FALSE(keys.empty());
    ASSERT_EQ(turned_keys.size(), keys.size());
    for (const SiftKeypoint& k : keys) {
        const std::vector<SiftKeypoint> there =
            Near(turned_keys, image.cols - 1 - k.col_px, k.row_px, 0.1);
        ASSERT_EQ(there.size(), 1u) << "at " << k.row_px << ", " << k.col_px;
        EXPECT_NEAR(there[0].scale_px, k.scale_px, 0.02 * k.scale_px);
        EXPECT_NEAR(AngleDifference(there[0].orientation_rad, k.orientation_rad + kPi / 2), 0.0,
                    0.03);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, RotationTest,
                         testing::Values(DirectionCase{"shallow", 0.5},
                                         DirectionCase{"steep_left", 2.0},
                                         DirectionCase{"down_left", -2.6}),
                         CaseName());

struct ByteCase {
    const char* name;
    float value;
    int byte;
};

class DescriptorByteTest : public testing::TestWithParam<ByteCase> {};

TEST_P(DescriptorByteTest, RoundsAndClamps) {
    EXPECT_EQ(DescriptorByte(GetParam().value), GetParam().byte);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DescriptorByteTest,
    testing::Values(ByteCase{"zero", 0.0f, 0}, ByteCase{"negative", -3.0f, 0},
                    ByteCase{"below_half", 0.49f, 0}, ByteCase{"half_up", 0.5f, 1},
                    ByteCase{"middle", 127.4f, 127}, ByteCase{"almost_top", 254.6f, 255},
                    ByteCase{"top", 255.0f, 255}, ByteCase{"above", 511.0f, 255},
                    ByteCase{"infinite", INFINITY, 255}, ByteCase{"nan", NAN, 0}),
    CaseName());

struct AngleCase {
    const char* name;
    float detector_deg;
    double orientation_rad;
};

class DetectorAngleTest : public testing::TestWithParam<AngleCase> {};

// The detector measures clockwise on screen in degrees in [0, 360).
TEST_P(DetectorAngleTest, BecomesCounterClockwiseRadiansInHalfOpenRange) {
    // In single precision: the float nearest to pi lies just above it.
    const float o = OrientationFromDetectorAngle(GetParam().detector_deg);
    EXPECT_GT(o, -static_cast<float>(kPi));
    EXPECT_LE(o, static_cast<float>(kPi));
    EXPECT_NEAR(o, GetParam().orientation_rad, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DetectorAngleTest,
    testing::Values(AngleCase{"zero", 0.0f, 0.0}, AngleCase{"down", 90.0f, -kPi / 2},
                    AngleCase{"half_turn", 180.0f, kPi}, AngleCase{"up", 270.0f, kPi / 2},
                    AngleCase{"just_below_full", 359.5f, 0.5 * kPi / 180},
                    AngleCase{"full_turn", 360.0f, 0.0},
                    AngleCase{"just_past_half", 180.001f, kPi - 0.001 * kPi / 180}),
    CaseName());

TEST(ConvertKeypointTest, RefusesNonFiniteValues) {
    const std::vector<float> descriptor(kDescriptorLength, 1.0f);
    SiftKeypoint k;
    EXPECT_TRUE(
        ConvertKeypoint(cv::KeyPoint(10.25f, 20.25f, 3.0f, 90.0f, 0.5f), descriptor.data(), &k));
    EXPECT_FLOAT_EQ(k.col_px, 10.0f);
    EXPECT_FLOAT_EQ(k.row_px, 20.0f);
    EXPECT_FLOAT_EQ(k.scale_px, 1.5f);
    for (float bad : {NAN, INFINITY}) {
        EXPECT_FALSE(ConvertKeypoint(cv::KeyPoint(bad, 1.0f, 3.0f), descriptor.data(), &k));
        EXPECT_FALSE(
            ConvertKeypoint(cv::KeyPoint(1.0f, 1.0f, 3.0f, 0.0f, bad), descriptor.data(), &k));
    }
}

class DetectorOptionsTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        image_ = new cv::Mat(RandomBlobs(200, 150, 80, 3));
        all_ = new std::vector<SiftKeypoint>(DetectKeypoints(*image_, {}));
    }
    static void TearDownTestSuite() {
        delete image_;
        delete all_;
    }
    static cv::Mat* image_;
    static std::vector<SiftKeypoint>* all_;
};
cv::Mat* DetectorOptionsTest::image_ = nullptr;
std::vector<SiftKeypoint>* DetectorOptionsTest::all_ = nullptr;

TEST_F(DetectorOptionsTest, StrongestFirstInATotalOrder) {
    ASSERT_GT(all_->size(), 50u);
    for (std::size_t i = 1; i < all_->size(); ++i) {
        EXPECT_FALSE(StrongerFirst((*all_)[i], (*all_)[i - 1])) << i;
        EXPECT_GE((*all_)[i - 1].response, (*all_)[i].response) << i;
    }
}

TEST_F(DetectorOptionsTest, UprightGivesOneKeypointPerPlaceWithOrientationZero) {
    const std::vector<SiftKeypoint> upright = DetectKeypoints(*image_, {.upright = true});
    ASSERT_FALSE(upright.empty());
    EXPECT_LE(upright.size(), all_->size());
    for (std::size_t i = 0; i < upright.size(); ++i) {
        EXPECT_EQ(upright[i].orientation_rad, 0.0f);
        for (std::size_t j = 0; j < i; ++j) {
            EXPECT_FALSE(upright[i].row_px == upright[j].row_px &&
                         upright[i].col_px == upright[j].col_px &&
                         upright[i].scale_px == upright[j].scale_px)
                << i << " repeats " << j;
        }
    }
}

TEST_F(DetectorOptionsTest, ThresholdsThinTheList) {
    EXPECT_LT(DetectKeypoints(*image_, {.contrast_threshold = 0.12}).size(), all_->size());
    EXPECT_LT(DetectKeypoints(*image_, {.edge_threshold = 1.5}).size(), all_->size());
}

struct TinyCase {
    const char* name;
    int width, height;
    bool noise;  // random pixels; else one grey value
};

class FeaturelessTest : public testing::TestWithParam<TinyCase> {};

// Images too small for the detector's border, or without structure, give no keypoints
// and no failure.
TEST_P(FeaturelessTest, NoKeypointsAndNoFailure) {
    const TinyCase& c = GetParam();
    cv::Mat image(c.height, c.width, CV_8U, cv::Scalar(90));
    if (c.noise) cv::RNG(5).fill(image, cv::RNG::UNIFORM, 0, 256);
    EXPECT_TRUE(DetectKeypoints(image, {}).empty());
    EXPECT_TRUE(DetectKeypoints(image, {.upright = true}).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, FeaturelessTest,
    testing::Values(TinyCase{"one_pixel", 1, 1, true}, TinyCase{"two_by_two", 2, 2, true},
                    TinyCase{"eight_by_eight", 8, 8, true}, TinyCase{"one_row", 300, 1, true},
                    TinyCase{"one_column", 1, 300, true}, TinyCase{"flat", 320, 240, false}),
    CaseName());

}  // namespace
}  // namespace siftkey
