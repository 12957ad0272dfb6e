// The camera model beyond the plain one: the undone distortion against the forward map over
// the whole frame, the derivative of the map against differences, and the cameras refused
// (values out of range, distortion that folds over or cannot be undone).
#include "camera/camera_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>

#include "camera/distortion.h"
#include "testing/case_name.h"

namespace ro {
namespace {

using test_support::CaseName;

// A camera of f = 1000 px (nominal 1 um pixels) with its principal point at the centre of a
// `columns` x `rows` frame.
Camera CameraOf(double columns, double rows, Distortion distortion, double row_scale = 1.0,
                double angle_rad = 0.0) {
    Camera c;
    c.focal_length_m = 1e-3;
    c.pixels_per_metre = 1e6;
    c.in_pixels = true;
    c.principal_column_px = 0.5 * (columns - 1.0);
    c.principal_row_px = 0.5 * (rows - 1.0);
    c.in_plane_angle_rad = angle_rad;
    c.row_scale = row_scale;
    c.distortion = distortion;
    return c;
}

struct MapCase {
    const char* name;
    Camera camera;
};

class CameraMapTest : public testing::TestWithParam<MapCase> {};

// Over a grid of the frame and its border, pixel -> plane -> pixel returns to within
// 0.001 px, and the derivative agrees with central differences.
TEST_P(CameraMapTest, UndoesTheDistortionOverTheFrame) {
    const Camera& c = GetParam().camera;
    const double columns = 2.0 * c.principal_column_px + 1.0;
    const double rows = 2.0 * c.principal_row_px + 1.0;
    ASSERT_EQ(CameraProblem(c), "");
    ASSERT_EQ(DistortionProblem(c, columns, rows), "");
    constexpr int kSteps = 40;
    for (int i = 0; i <= kSteps; ++i) {
        for (int j = 0; j <= kSteps; ++j) {
            const double col = -0.5 + columns * i / kSteps;
            const double row = -0.5 + rows * j / kSteps;
            Camera::PlaneJacobian jac;
            const ImagePoint p = c.ToImagePlane(col, row, &jac);
            const ImagePoint q = c.ToImagePlane(col, row);
            EXPECT_EQ(p.x_m, q.x_m);
            EXPECT_EQ(p.y_m, q.y_m);
            const Camera::PixelPoint back = c.ToPixel(p);
            EXPECT_LT(std::hypot(back.column_px - col, back.row_px - row), 1e-3)
                << "column " << col << " row " << row;
            constexpr double h = 1e-3;  // central differences by column, then by row
            const double tolerance = 1e-6 * std::hypot(jac.dx_dcolumn, jac.dx_drow);
            for (const auto& [dc, dr, dx, dy] : {std::tuple{h, 0.0, jac.dx_dcolumn, jac.dy_dcolumn},
                                                 std::tuple{0.0, h, jac.dx_drow, jac.dy_drow}}) {
                const ImagePoint a = c.ToImagePlane(col + dc, row + dr);
                const ImagePoint b = c.ToImagePlane(col - dc, row - dr);
                EXPECT_NEAR(dx, (a.x_m - b.x_m) / (2 * h), tolerance);
                EXPECT_NEAR(dy, (a.y_m - b.y_m) / (2 * h), tolerance);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cameras, CameraMapTest,
    testing::Values(MapCase{"pincushion", CameraOf(2000, 1500, {0.2, 0, 0, 0, 0})},
                    MapCase{"barrel", CameraOf(1280, 960, {-0.3, 0.1, 0, 0, 0})},
                    MapCase{"tangential", CameraOf(1280, 960, {0.1, -0.05, 0.01, 0.01, 0.01})},
                    MapCase{"non_square_turned",
                            CameraOf(1000, 800, {0.05, 0, 0, 0.002, 0}, 1.3, 0.3)},
                    MapCase{"non_square_only", CameraOf(1000, 800, {}, 0.7)}),
    CaseName());

struct RefusalCase {
    const char* name;
    Camera camera;
    const char* reason_part;  // empty: accepted
};

class CameraRefusalTest : public testing::TestWithParam<RefusalCase> {};

// Every camera is either accepted or refused with its reason; a distortion that cannot be
// undone over the frame the principal point implies names the frame and a pixel of it.
TEST_P(CameraRefusalTest, RefusesWithTheReason) {
    const RefusalCase& c = GetParam();
    std::string problem = CameraProblem(c.camera);
    if (problem.empty()) {
        problem = DistortionProblem(c.camera, 2.0 * c.camera.principal_column_px + 1.0,
                                    2.0 * c.camera.principal_row_px + 1.0);
    }
    if (std::string(c.reason_part).empty()) {
        EXPECT_EQ(problem, "");
    } else {
        EXPECT_NE(problem.find(c.reason_part), std::string::npos) << problem;
    }
}

Camera InPixels(double focal_px, bool in_pixels) {
    Camera c = CameraOf(640, 480, {});
    c.focal_length_m = focal_px * 1e-6;
    c.in_pixels = in_pixels;
    return c;
}

constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Cameras, CameraRefusalTest,
    testing::Values(
        RefusalCase{"fifty_pixels_given_in_pixels", InPixels(50, true), ""},
        RefusalCase{"fifty_pixels_in_millimetres", InPixels(50, false), "0.05 mm"},
        RefusalCase{"half_a_pixel", InPixels(0.5, true), "focal length is 0.5 px"},
        RefusalCase{"row_scale_zero", CameraOf(640, 480, {}, 0.0),
                    "height over its width (fy / fx) is 0"},
        RefusalCase{"row_scale_nan", CameraOf(640, 480, {}, std::nan("")), "fy / fx) is nan"},
        RefusalCase{"row_scale_twenty", CameraOf(640, 480, {}, 20.0), "between 0.1 and 10"},
        RefusalCase{"k1_infinite", CameraOf(640, 480, {kInf, 0, 0, 0, 0}),
                    "distortion coefficient k1 is inf"},
        RefusalCase{"p2_nan", CameraOf(640, 480, {0, 0, 0, 0, std::nan("")}),
                    "distortion coefficient p2"},
        // r_d = r (1 - 0.3 r^2) turns back at r = 1.05, r_d = 0.70: short of the corners at
        // 1.25 of the larger frame, beyond the 0.625 of the smaller one.
        RefusalCase{
            "barrel_beyond_its_turn", CameraOf(2000, 1500, {-0.3, 0, 0, 0, 0}),
            "the distortion folds over inside the 2000 x 1500 px frame (at column -0.5, row -0.5)"},
        RefusalCase{"k2_folding", CameraOf(2000, 1500, {0.1, -0.5, 0, 0, 0}),
                    "cannot be undone inside the 2000 x 1500 px frame (its inverse does not "
                    "converge at column -0.5, row -0.5)"},
        // 1 - 1.5 r^2 + 0.5 r^4 < 0 for 1 < r < 1.41: r_d = 0.6 to 0.57 has three preimages,
        // the outer one regular again.
        RefusalCase{"fold_behind_a_regular_preimage", CameraOf(1000, 800, {-0.5, 0.1, 0, 0, 0}),
                    "the distortion folds over inside the 1000 x 800 px frame (at column"},
        RefusalCase{"tangential_folding", CameraOf(2000, 1500, {0, 0, 0, 0.4, 0}),
                    "inside the 2000 x 1500 px frame"},
        RefusalCase{"barrel_within_its_turn", CameraOf(1000, 750, {-0.3, 0, 0, 0, 0}), ""}),
    CaseName());

}  // namespace
}  // namespace ro
