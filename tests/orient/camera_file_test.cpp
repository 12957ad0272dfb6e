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

const ro::Camera kDefaultCamera{0.0132, 135135.1351, 959.5, 511.5, 0.0};
const ro::Camera kWideCamera{0.024, 250000.0, 1999.5, 1499.5, 0.0};

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
                 ro::Camera{0.024, 250000.0, 1999.5, 1499.5, std::numbers::pi}},
        GoodCase{"at_the_limits",
                 "focal_length_mm = 0.1\npixel_size_um = 0.1\nprincipal_point = 0 100000\n"
                 "in_plane_angle_deg = -360\n",
                 ro::Camera{1e-4, 1e7, 0.0, 1e5, -2.0 * std::numbers::pi}}),
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
    for (const ro::Camera& camera : {ro::BuiltInCamera(), ro::Camera{0.1, 1e5 / 3, 0.1, 0.2, 0.5},
                                     ro::Camera{1e-3 / 3, 123456.789, 5, 7e3, -1.0}}) {
        ExpectCamera(ro::ParseCameraText(ro::FormatCameraText(camera)), camera);
    }
    EXPECT_EQ(ro::FormatCameraText(kDefaultCamera).rfind("focal_length_mm = 13.2\n", 0), 0u);
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
        BadCase{"empty", "", 0, "missing key 'focal_length_mm'"},
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
        BadCase{"tiny_focal_length", "focal_length_mm = 1e-9\n", 1,
                "'focal_length_mm' 1e-9 is out of range: 0.1 to 10000 mm"},
        BadCase{"pixels_per_metre_too_few", "pixels_per_metre = 999\n", 1,
                "'pixels_per_metre' 999 is out of range: 1000 to 1e+07 pixels per metre"},
        BadCase{"principal_point_far_away", "principal_point = 10 3110000\n", 1,
                "'principal_point' 3110000 is out of range: 0 to 100000 px for column and row"},
        BadCase{"negative_principal_column", "principal_point = -0.5 10\n", 1,
                "'principal_point' -0.5 is out of range: 0 to 100000 px for column and row"},
        BadCase{"angle_beyond_a_turn", "in_plane_angle_deg = 361\n", 1,
                "'in_plane_angle_deg' 361 is out of range: -360 to 360 degrees"},
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
