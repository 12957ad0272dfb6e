// Detection on a reduced photograph: the size detected on and the mapping of keypoints
// back to the photograph's pixels (that images within the limit are detected as before is
// shown by the bundled key files, in the program's tests).
#include "siftkey/reduced_detection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "siftkey/pixel_limit.h"
#include "testing/case_name.h"
#include "tests/siftkey/synthetic_images.h"

namespace siftkey {
namespace {

using test_support::CaseName;

TEST(DetectionSizeTest, LongSideLimitedShortSideInProportion) {
    struct {
        std::uint64_t width, height, max_side, detected_width, detected_height;
    } const cases[] = {{6000, 4000, 2560, 2560, 1707},  // landscape, 24 MP
                       {4000, 6000, 2560, 1707, 2560},  // portrait
                       {2560, 1920, 2560, 2560, 1920},  // at the limit
                       {9000, 6000, 0, 9000, 6000},     // unlimited
                       {100000, 3, 2560, 2560, 1}};     // thin stays one pixel
    for (const auto& c : cases) {
        const PixelSize size = DetectionSize(c.width, c.height, c.max_side);
        EXPECT_EQ(size.width, c.detected_width) << c.width << " x " << c.height;
        EXPECT_EQ(size.height, c.detected_height) << c.width << " x " << c.height;
    }
}

// A keypoint of the reduced image lands where the same place lies in the full one: the
// pixel (0, 0) of a 3-times reduction covers full pixels 0 to 2, centred on 1.
struct MappingCase {
    const char* name;
    cv::Size reduced, full;
    float row, col, scale;                 // on the reduced image
    float full_row, full_col, full_scale;  // on the full image
};

class ScaleToFullImageTest : public testing::TestWithParam<MappingCase> {};

TEST_P(ScaleToFullImageTest, PixelCentresMapOntoTheSameArea) {
    const MappingCase& c = GetParam();
    std::vector<SiftKeypoint> keys{
        {.row_px = c.row, .col_px = c.col, .scale_px = c.scale, .orientation_rad = 0.5f}};
    ScaleToFullImage(c.reduced, c.full, &keys);
    EXPECT_NEAR(keys[0].row_px, c.full_row, 1e-4);
    EXPECT_NEAR(keys[0].col_px, c.full_col, 1e-4);
    EXPECT_NEAR(keys[0].scale_px, c.full_scale, 1e-4);
    EXPECT_EQ(keys[0].orientation_rad, 0.5f);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ScaleToFullImageTest,
    testing::Values(MappingCase{"FirstAndLastPixel", {2, 1}, {6, 3}, 0, 1, 1, 1, 4, 3},
                    MappingCase{"TopLeftCorner", {2, 2}, {5, 5}, -0.5f, -0.5f, 2, -0.5f, -0.5f, 5}),
    CaseName());

// A sharp blob found on the image reduced by factors 3, 2.5 and 1.6 lies within a fraction
// of a pixel of where the full-resolution detection finds it: a mapping that forgot the
// half-pixel shift would be off by (factor - 1) / 2 pixels.
TEST(ReducedBlobTest, LandsWhereTheFullDetectionFindsIt) {
    constexpr double kRow = 301.3, kCol = 447.6, kSigma = 12.0;
    const cv::Mat image = GaussianBlob(900, 600, kRow, kCol, kSigma);
    const auto nearest = [&](const std::vector<SiftKeypoint>& keys) {
        const auto distance = [&](const SiftKeypoint& k) {
            return std::hypot(k.row_px - kRow, k.col_px - kCol);
        };
        return *std::min_element(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
            return distance(a) < distance(b);
        });
    };
    const std::vector<SiftKeypoint> full = DetectKeypointsAtMostSide(image, {}, 0);
    ASSERT_FALSE(full.empty());
    const SiftKeypoint f = nearest(full);
    ASSERT_LT(std::hypot(f.row_px - kRow, f.col_px - kCol), 0.2);
    for (const std::uint64_t max_side : {300, 360, 562}) {
        const std::vector<SiftKeypoint> reduced = DetectKeypointsAtMostSide(image, {}, max_side);
        ASSERT_FALSE(reduced.empty()) << max_side;
        const SiftKeypoint r = nearest(reduced);
        EXPECT_NEAR(r.row_px, f.row_px, 0.15) << max_side;
        EXPECT_NEAR(r.col_px, f.col_px, 0.15) << max_side;
        EXPECT_NEAR(r.scale_px / f.scale_px, 1.0, 0.05) << max_side;
    }
}

}  // namespace
}  // namespace siftkey
