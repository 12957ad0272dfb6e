// Camera files: accepted texts give the exact camera, every refusal its line and reason.
#include "camera/camera_file.h"

#include <gtest/gtest.h>

#include <numbers>
#include <string>
#include <variant>

#include "testing/case_name.h"

namespace {

using test_support::CaseName;

// Exact comparison: a file must give the same doubles as the literals.
void ExpectCamera(const ro::CameraFileResult& parsed, const ro::Camera& want) {
    ASSERT_TRUE(std::holds_alternative<ro::Camera>(parsed))
        << std::get<ro::CameraFileError>(parsed).reason;
    const ro::Camera& got = std::get<ro::Camera>(parsed);
    EXPECT_EQ(got.focal_length_m, want.focal_length_m);
    EXPECT_EQ(got.pixels_per_metre, want.pixels_per_metre);
    EXPECT_EQ(got.principal_column_px, want.principal_column_px);
    EXPECT_EQ(got.principal_row_px, want.principal_row_px);
    EXPECT_NEAR(got.in_plane_angle_rad, want.in_plane_angle_rad, 1e-15);
    EXPECT_EQ(got.row_scale, want.row_scale);
    EXPECT_EQ(got.in_pixels, want.in_pixels);
    EXPECT_TRUE(got.distortion == want.distortion);
}

// A camera in the metric form (fields assigned: the camera's aggregate has more).
ro::Camera Metric(double focal_m, double pixels_per_metre, double column, double row,
                  double angle_rad, ro::Distortion distortion = {}) {
    ro::Camera c;
    c.focal_length_m = focal_m;
    c.pixels_per_metre = pixels_per_metre;
    c.principal_column_px = column;
    c.principal_row_px = row;
    c.in_plane_angle_rad = angle_rad;
    c.distortion = distortion;
    return c;
}

// A camera given in pixels: the nominal 1 um pixel, fx in metres as if written so.
ro::Camera InPixels(double focal_m, double column, double row, double row_scale,
                    ro::Distortion distortion = {}) {
    ro::Camera c = Metric(focal_m, 1e6, column, row, 0.0, distortion);
    c.row_scale = row_scale;
    c.in_pixels = true;
    return c;
}

struct GoodCase {
    std::string name;
    std::string text;
    ro::Camera camera;
};

class CameraFileGoodTest : public testing::TestWithParam<GoodCase> {};

TEST_P(CameraFileGoodTest, GivesTheCamera) {
    ExpectCamera(ro::ParseCameraText(GetParam().text), GetParam().camera);
}

const ro::Camera kDefaultCamera = Metric(0.0132, 135135.1351, 959.5, 511.5, 0.0);
const ro::Camera kWideCamera = Metric(0.024, 250000.0, 1999.5, 1499.5, 0.0);
const std::string kWideText =
    "focal_length_mm = 24\npixel_size_um = 4\nprincipal_point = 1999.5 1499.5\n";

INSTANTIATE_TEST_SUITE_P(
    Table, CameraFileGoodTest,
    testing::Values(
        GoodCase{"comments_blanks_tabs",
                 "# a wide camera\n\n  focal_length_mm\t= 24   # lens\npixel_size_um = 4\n"
                 "principal_point =  1999.5\t1499.5\n# end\n",
                 kWideCamera},
        GoodCase{"crlf_no_final_line_end",
                 "focal_length_mm = 24\r\npixel_size_um = 4\r\nprincipal_point = 1999.5 1499.5",
                 kWideCamera},
        GoodCase{"any_order_exponents_angle",
                 "in_plane_angle_deg = 180\nprincipal_point = 1999.5 1499.5\n"
                 "pixels_per_metre = 2.5e5\nfocal_length_mm = +0.024e3\n",
                 Metric(0.024, 250000.0, 1999.5, 1499.5, std::numbers::pi)},
        GoodCase{"at_the_limits",
                 "focal_length_mm = 0.1\npixel_size_um = 0.1\nprincipal_point = 0 100000\n"
                 "in_plane_angle_deg = -360\n",
                 Metric(1e-4, 1e7, 0.0, 1e5, -2.0 * std::numbers::pi)},
        GoodCase{"pixels_square", "focal_length_px = 1500\nprincipal_point = 959.5 511.5\n",
                 InPixels(1.5e-3, 959.5, 511.5, 1.0)},
        GoodCase{"pixels_equal_fx_fy_are_square",
                 "focal_length_px = 1234.5 1234.50\nprincipal_point = 10 20\n",
                 InPixels(1.2345e-3, 10, 20, 1.0)},
        // As pasted from a calibration: fx fy, cx cy, k1 k2 p1 p2 k3 in any order.
        GoodCase{
            "pixels_non_square_distorted",
            "focal_length_px = 1000 1002\nprincipal_point = 639.5 479.5\nk1 = -0.25\n"
            "k2 = 0.125\np1 = 1e-3\np2 = -2e-3\nk3 = 0.5\nin_plane_angle_deg = 0\n",
            InPixels(1e-3, 639.5, 479.5, 1002.0 / (1e-3 * 1e6), {-0.25, 0.125, 0.5, 1e-3, -2e-3})},
        GoodCase{"metric_distorted_at_the_limits", kWideText + "k3 = -1e4\np1 = 10000\n",
                 Metric(0.024, 250000.0, 1999.5, 1499.5, 0.0, {0.0, 0.0, -1e4, 1e4, 0.0})}),
    CaseName());

// The documented text of the built-in camera gives it exactly; any camera's formatted text
// gives it back.
TEST(CameraFile, BuiltInAndFormattedTextsGiveTheCamera) {
    if (ro::BuiltInCamera().pixels_per_metre == kDefaultCamera.pixels_per_metre &&
        ro::BuiltInCamera().focal_length_m == kDefaultCamera.focal_length_m) {
        ExpectCamera(ro::ParseCameraText("focal_length_mm = 13.2\npixels_per_metre = "
                                         "135135.1351\nprincipal_point = 959.5 511.5\n"),
                     ro::BuiltInCamera());
    }
    for (const ro::Camera& camera : {ro::BuiltInCamera(), Metric(0.1, 1e5 / 3, 0.1, 0.2, 0.5),
                                     Metric(1e-3 / 3, 123456.789, 5, 7e3, -1.0)}) {
        ExpectCamera(ro::ParseCameraText(ro::FormatCameraText(camera)), camera);
    }
    EXPECT_EQ(ro::FormatCameraText(kDefaultCamera).rfind("focal_length_mm = 13.2\n", 0), 0u);
}

// A camera is written in its file's own form with the shortest decimals. That any camera
// read comes back exactly from its formatted text, the angle and the row focal length
// included, is the camera-file fuzz target's check, replayed on its corpus (17-digit values
// of both forms among it) by the tests.
TEST(CameraFile, FormattedTextIsTheFilesFormInShortestDecimals) {
    EXPECT_EQ(ro::FormatCameraText(
                  std::get<ro::Camera>(ro::ParseCameraText("focal_length_px = 1000 1002.5\n"
                                                           "principal_point = 639.5 479.5\n"
                                                           "k3 = 0.25\np1 = -0.001\n"))),
              "focal_length_px = 1000 1002.5\nprincipal_point = 639.5 479.5\n"
              "in_plane_angle_deg = 0\nk3 = 0.25\np1 = -0.001\n");
}

struct BadCase {
    std::string name;
    std::string text;
    int line;
    std::string reason;
};

class CameraFileBadTest : public testing::TestWithParam<BadCase> {};

TEST_P(CameraFileBadTest, RefusedWithLineAndReason) {
    const ro::CameraFileResult parsed = ro::ParseCameraText(GetParam().text);
    ASSERT_TRUE(std::holds_alternative<ro::CameraFileError>(parsed));
    EXPECT_EQ(std::get<ro::CameraFileError>(parsed).line, GetParam().line);
    EXPECT_EQ(std::get<ro::CameraFileError>(parsed).reason, GetParam().reason);
}

const std::string kFocal = "focal_length_mm = 24\n";
const std::string kSize = "pixel_size_um = 4\n";
const std::string kPrincipal = "principal_point = 1999.5 1499.5\n";

INSTANTIATE_TEST_SUITE_P(
    Table, CameraFileBadTest,
    testing::Values(
        BadCase{"empty", "", 0, "missing key 'focal_length_mm' or 'focal_length_px'"},
        BadCase{"pixels_missing_principal", "focal_length_px = 1000\nk1 = 0.1\n", 2,
                "missing key 'principal_point'"},
        BadCase{"missing_focal", kSize + kPrincipal, 2, "missing key 'focal_length_mm'"},
        BadCase{"missing_principal", kFocal + kSize + "# end\n", 3,
                "missing key 'principal_point'"},
        BadCase{"neither_size", kFocal + kPrincipal, 2,
                "missing key 'pixel_size_um' or 'pixels_per_metre'"},
        BadCase{"both_sizes", kFocal + kSize + "pixels_per_metre = 250000\n" + kPrincipal, 3,
                "give either 'pixel_size_um' or 'pixels_per_metre', not both"},
        BadCase{"repeated", kFocal + kSize + "\nfocal_length_mm = 24\n", 4,
                "repeated key 'focal_length_mm' (first given on line 1)"},
        BadCase{"unknown_key", kFocal + "Focal_mm = 24\n", 2, "unknown key 'Focal_mm'"},
        // The two forms never mix: the later line is refused, naming the earlier.
        BadCase{"pixels_after_millimetres", kFocal + "\nfocal_length_px = 6000\n", 3,
                "'focal_length_px' cannot go with 'focal_length_mm' (line 1): give the focal "
                "length either in pixels or in millimetres with a pixel size"},
        BadCase{"pixel_size_after_pixels",
                "focal_length_px = 6000\n" + kPrincipal + "pixels_per_metre = 1e5\n" + kSize, 3,
                "'pixels_per_metre' cannot go with 'focal_length_px' (line 1): give the focal "
                "length either in pixels or in millimetres with a pixel size"},
        // Hints for the names of other tools and habits.
        BadCase{"hint_fx", "fx = 1000\n", 1,
                "unknown key 'fx' (for a focal length in pixels write 'focal_length_px = FX "
                "[FY]')"},
        BadCase{"hint_case", "K1 = 0.1\n", 1,
                "unknown key 'K1' (keys are case-sensitive: write 'k1')"},
        BadCase{"hint_coefficient_list", "distCoeffs = 0.1 0.01 0 0 0\n", 1,
                "unknown key 'distCoeffs' (write each coefficient on a line of its own: 'k1 = "
                "...', 'k2 = ...', 'p1 = ...', 'p2 = ...', 'k3 = ...')"},
        BadCase{"pixels_three_values", "focal_length_px = 1 2 3\n", 1,
                "'focal_length_px' takes one or two numbers (FX [FY]), found 3 fields"},
        BadCase{"pixels_zero_row_focal_length", "focal_length_px = 1000 0\n", 1,
                "'focal_length_px' must be greater than 0"},
        BadCase{"pixels_row_too_long", "focal_length_px = 1000 2e6\n", 1,
                "'focal_length_px' 2e6 is out of range: 1 to 1e+06 px"},
        BadCase{"distortion_too_strong", kFocal + "k2 = -2e4\n", 2,
                "'k2' -2e4 is out of range: -10000 to 10000"},
        BadCase{"distortion_two_values", "k1 = 0.1 0.2\n", 1,
                "'k1' takes one number, found 2 fields"},
        BadCase{"no_equals", kFocal + "pixel_size_um 4\n", 2, "expected 'key = value'"},
        BadCase{"comma_decimal", "focal_length_mm = 13,2\n", 1, "'13,2' is not a finite number"},
        BadCase{"infinite", "pixels_per_metre = 1e999\n", 1, "'1e999' is not a finite number"},
        BadCase{"zero_size", kFocal + "pixel_size_um = 0\n", 2,
                "'pixel_size_um' must be greater than 0"},
        BadCase{"negative_focal", "focal_length_mm = -24\n", 1,
                "'focal_length_mm' must be greater than 0"},
        BadCase{"one_principal_value", "principal_point = 1999.5\n", 1,
                "'principal_point' takes two numbers (column row), found 1 fields"},
        BadCase{"pixel_size_underflows_the_focal_length", kFocal + "pixel_size_um = 1e-200\n", 2,
                "'pixel_size_um' 1e-200 is out of range: 0.1 to 1000 micrometres"},
        BadCase{"negative_principal_column", "principal_point = -0.5 10\n", 1,
                "'principal_point' -0.5 is out of range: 0 to 100000 px for column and row"},
        // Each value in range, their quotient not: 0.1 mm over 1000 um is 0.1 px.
        BadCase{"focal_length_below_one_pixel",
                "focal_length_mm = 0.1\n" + kPrincipal + "pixel_size_um = 1000\n", 3,
                "'focal_length_mm' and 'pixel_size_um' give a focal length of 0.1 px; it must lie "
                "between 1 and 1e+06 px"},
        BadCase{"focal_length_above_a_million_pixels",
                "pixels_per_metre = 1e7\nfocal_length_mm = 200\n" + kPrincipal, 2,
                "'focal_length_mm' and 'pixels_per_metre' give a focal length of 2e+06 px; it "
                "must lie between 1 and 1e+06 px"},
        BadCase{"nul_byte", kFocal + std::string("pixel_size_um = 4\0", 18) + "\n", 2,
                "NUL byte in text"}),
    CaseName());

}  // namespace
