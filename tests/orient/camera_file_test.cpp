// Camera files: accepted texts give the exact camera, every refusal its line and reason.
#include "camera_file.h"

#include <gtest/gtest.h>

#include <numbers>
#include <string>
#include <variant>

#include "case_name.h"

namespace {

struct GoodCase {
    std::string name;
    std::string text;
    ro::Camera camera;
};

class CameraFileGoodTest : public testing::TestWithParam<GoodCase> {};

// Camera values are compared exactly: a file must give the same doubles as the literals.
TEST_P(CameraFileGoodTest, GivesTheCamera) {
    const ro::CameraFileResult parsed = ro::ParseCameraText(GetParam().text);
    ASSERT_TRUE(std::holds_alternative<ro::Camera>(parsed))
        << std::get<ro::CameraFileError>(parsed).line << ": "
        << std::get<ro::CameraFileError>(parsed).reason;
    const ro::Camera& got = std::get<ro::Camera>(parsed);
    const ro::Camera& want = GetParam().camera;
    EXPECT_EQ(got.focal_length_m, want.focal_length_m);
    EXPECT_EQ(got.pixels_per_metre, want.pixels_per_metre);
    EXPECT_EQ(got.principal_column_px, want.principal_column_px);
    EXPECT_EQ(got.principal_row_px, want.principal_row_px);
    EXPECT_EQ(got.in_plane_angle_rad, want.in_plane_angle_rad);
}

const char kBuiltInText[] =
    "focal_length_mm = 13.2\npixels_per_metre = 135135.1351\nprincipal_point = 959.5 511.5\n";
const ro::Camera kDefaultCamera{0.0132, 135135.1351, 959.5, 511.5, 0.0};
const ro::Camera kWideCamera{0.024, 250000.0, 1999.5, 1499.5, 0.0};

INSTANTIATE_TEST_SUITE_P(
    Table, CameraFileGoodTest,
    testing::Values(
        GoodCase{"builtin_text", kBuiltInText, kDefaultCamera},
        GoodCase{"comments_blanks_tabs",
                 "# a wide camera\n\n  focal_length_mm\t= 24   # lens\npixel_size_um = 4\n"
                 "principal_point =  1999.5\t1499.5\n# end\n",
                 kWideCamera},
        GoodCase{"crlf_no_final_line_end",
                 "focal_length_mm = 24\r\npixel_size_um = 4\r\nprincipal_point = 1999.5 1499.5",
                 kWideCamera},
        GoodCase{"keys_in_any_order_with_angle",
                 "in_plane_angle_deg = 0\nprincipal_point = 1999.5 1499.5\n"
                 "pixels_per_metre = 2.5e5\nfocal_length_mm = +0.024e3\n",
                 kWideCamera},
        GoodCase{"angle_in_degrees",
                 "focal_length_mm = 24\npixel_size_um = 4\nprincipal_point = 1999.5 1499.5\n"
                 "in_plane_angle_deg = 180\n",
                 ro::Camera{0.024, 250000.0, 1999.5, 1499.5, std::numbers::pi}}),
    CaseName());

// A formatted camera reads back as the same camera (the angle goes through degrees).
TEST(CameraFile, FormattedTextGivesTheCameraBack) {
    for (const ro::Camera& camera :
         {ro::BuiltInCamera(), kDefaultCamera, kWideCamera, ro::Camera{0.1, 1e5 / 3, 0.1, 0.2, 0.5},
          ro::Camera{1e-3 / 3, 123456.789, -5, 7e3, -1.0}}) {
        const std::string text = ro::FormatCameraText(camera);
        const ro::CameraFileResult parsed = ro::ParseCameraText(text);
        ASSERT_TRUE(std::holds_alternative<ro::Camera>(parsed)) << text;
        const ro::Camera& got = std::get<ro::Camera>(parsed);
        EXPECT_EQ(got.focal_length_m, camera.focal_length_m) << text;
        EXPECT_EQ(got.pixels_per_metre, camera.pixels_per_metre) << text;
        EXPECT_EQ(got.principal_column_px, camera.principal_column_px) << text;
        EXPECT_EQ(got.principal_row_px, camera.principal_row_px) << text;
        EXPECT_NEAR(got.in_plane_angle_rad, camera.in_plane_angle_rad, 1e-15) << text;
    }
    EXPECT_EQ(ro::FormatCameraText(kDefaultCamera).rfind("focal_length_mm = 13.2\n", 0), 0u);
}

// The documented text of the built-in camera gives it exactly.
TEST(CameraFile, BuiltInCameraTextGivesTheBuiltInCamera) {
    const ro::Camera built_in = ro::BuiltInCamera();
    if (built_in.pixels_per_metre != kDefaultCamera.pixels_per_metre ||
        built_in.focal_length_m != kDefaultCamera.focal_length_m) {
        GTEST_SKIP() << "built for another camera";
    }
    const ro::CameraFileResult literal = ro::ParseCameraText(kBuiltInText);
    ASSERT_TRUE(std::holds_alternative<ro::Camera>(literal));
    const ro::Camera& got = std::get<ro::Camera>(literal);
    EXPECT_EQ(got.focal_length_m, built_in.focal_length_m);
    EXPECT_EQ(got.pixels_per_metre, built_in.pixels_per_metre);
    EXPECT_EQ(got.principal_column_px, built_in.principal_column_px);
    EXPECT_EQ(got.principal_row_px, built_in.principal_row_px);
    EXPECT_EQ(got.in_plane_angle_rad, built_in.in_plane_angle_rad);
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
        BadCase{"unknown_key", kFocal + "focal_mm = 24\n", 2, "unknown key 'focal_mm'"},
        BadCase{"key_case_matters", "Focal_length_mm = 24\n", 1, "unknown key 'Focal_length_mm'"},
        BadCase{"no_equals", kFocal + "pixel_size_um 4\n", 2, "expected 'key = value'"},
        BadCase{"no_key", "= 4\n", 1, "missing key before '='"},
        BadCase{"comma_decimal", "focal_length_mm = 13,2\n", 1, "'13,2' is not a finite number"},
        BadCase{"word", kFocal + "pixel_size_um = four\n", 2, "'four' is not a finite number"},
        BadCase{"infinite", "pixels_per_metre = inf\n", 1, "'inf' is not a finite number"},
        BadCase{"too_large", "pixels_per_metre = 1e999\n", 1, "'1e999' is not a finite number"},
        BadCase{"zero_size", kFocal + "pixel_size_um = 0\n", 2,
                "'pixel_size_um' must be greater than 0"},
        BadCase{"negative_focal", "focal_length_mm = -24\n", 1,
                "'focal_length_mm' must be greater than 0"},
        BadCase{"negative_scale", "pixels_per_metre = -1\n", 1,
                "'pixels_per_metre' must be greater than 0"},
        BadCase{"one_principal_value", "principal_point = 1999.5\n", 1,
                "'principal_point' takes two numbers (column row), found 1 fields"},
        BadCase{"two_focal_values", "focal_length_mm = 24 25\n", 1,
                "'focal_length_mm' takes one number, found 2 fields"},
        BadCase{"empty_value", "focal_length_mm =\n", 1,
                "'focal_length_mm' takes one number, found 0 fields"},
        BadCase{"nul_byte", kFocal + std::string("pixel_size_um = 4\0", 18) + "\n", 2,
                "NUL byte in text"}),
    CaseName());

}  // namespace
