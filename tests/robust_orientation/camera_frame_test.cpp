// W-CAMERA-FRAME: tie points that do not fit the frame or the focal length of a camera.
#include "robust_orientation/camera_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "robust_orientation/estimate.h"
#include "testing/case_name.h"
#include "testing/orient_scene.h"

namespace {

struct FrameCase {
    const char* name;
    double principal_column_px;  // of camera 2; the points are the built-in camera's
    double principal_row_px;
    double focal_length_px;
    const char* expected;  // part of the message; empty: no warning
};

class CameraFrameTest : public testing::TestWithParam<FrameCase> {};

TEST_P(CameraFrameTest, WarnsWhenTheTiePointsDoNotFit) {
    const FrameCase& c = GetParam();
    const scene::OrientScene s =
        scene::MakeOrientScene({0.03, -0.02, 0.02, -0.03, 0.4}, scene::OrientSceneOptions(200, 5));
    ro::Camera camera2 = s.camera2;
    camera2.principal_column_px = c.principal_column_px;
    camera2.principal_row_px = c.principal_row_px;
    camera2.focal_length_m = c.focal_length_px / camera2.pixels_per_metre;
    const std::vector<ro::Warning> warnings = ro::CameraFrameWarnings(
        s.tie_points, ro::ToObservations(s.tie_points, s.camera1, camera2), s.camera1, camera2);
    if (c.expected[0] == '\0') {
        EXPECT_TRUE(warnings.empty()) << warnings.front().message;
        return;
    }
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].code, "W-CAMERA-FRAME");
    EXPECT_NE(warnings[0].message.find("the tie points of photograph 2 span"), std::string::npos);
    EXPECT_NE(warnings[0].message.find(c.expected), std::string::npos) << warnings[0].message;
    // The estimation reports it whatever its outcome.
    const ro::OrientationResult r = ro::EstimateOrientation(s.tie_points, s.camera1, camera2, {});
    EXPECT_TRUE(std::any_of(r.warnings.begin(), r.warnings.end(),
                            [](const ro::Warning& w) { return w.code == "W-CAMERA-FRAME"; }));
}

INSTANTIATE_TEST_SUITE_P(Table, CameraFrameTest,
                         testing::Values(FrameCase{"own_camera", 959.5, 511.5, 1783.78, ""},
                                         FrameCase{"principal_point_off_centre_within_the_margin",
                                                   1100.0, 450.0, 1783.78, ""},
                                         FrameCase{"frame_of_a_smaller_photograph", 300.0, 200.0,
                                                   1783.78,
                                                   "camera 2 implies a 601 x 401 px frame"},
                                         FrameCase{"field_of_view_too_wide", 959.5, 511.5, 200.0,
                                                   "a field of view of 1"}),
                         test_support::CaseName());

}  // namespace
