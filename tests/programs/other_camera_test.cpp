// Builds the programs for another camera in a fresh build tree, through the RO_CAMERA_*
// cache variables, installs them, and checks that the installed `relative` solves a scene
// made for that camera (the README's recipes for another camera and for installing, one
// after the other); and that the configure step refuses camera values that are no decimal
// numbers or make no camera.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "testing/case_name.h"
#include "testing/console_texts.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using test_support::CaseName;
using test_support::ProgramResult;
using test_support::RunProgram;
using test_support::TempDir;

// The configure arguments of a nested build like this one, without the test suite.
std::vector<std::string> ConfigureArgs(const TempDir& build) {
    return {"-S",
            RO_SOURCE_DIR,
            "-B",
            build.path().string(),
            "-DCMAKE_BUILD_TYPE=" RO_BUILD_TYPE,
            "-DCMAKE_CXX_COMPILER=" RO_CXX_COMPILER,
            "-DRO_SANITIZE=" RO_SANITIZE_SETTING,
            "-DRO_WERROR=ON"};
}

// A 4000 x 3000 camera with 4 micrometre pixels, a 24 mm lens and its pixel axes turned
// by 0.02 radians against the image plane: every constant differs from the default one.
const std::vector<std::string> kCamera = {
    "-DRO_CAMERA_PIXELS_PER_METRE=250000", "-DRO_CAMERA_PRINCIPAL_I=1999.5",
    "-DRO_CAMERA_PRINCIPAL_J=1499.5", "-DRO_CAMERA_THETA=0.02", "-DRO_CAMERA_FOCAL_LENGTH=0.024"};

TEST(OtherCameraTest, InstalledBuildSolvesASceneMadeForItsCamera) {
    TempDir build;
    std::vector<std::string> configure = ConfigureArgs(build);
    configure.insert(configure.end(), kCamera.begin(), kCamera.end());
    const ProgramResult c = RunProgram(RO_CMAKE, configure, 600.0);
    ASSERT_EQ(c.exit_status, 0) << c.out << c.err;
    const ProgramResult b =
        RunProgram(RO_CMAKE, {"--build", build.path().string(), "-j", "2"}, 1200.0);
    ASSERT_EQ(b.exit_status, 0) << b.out << b.err;
    TempDir prefix;
    const ProgramResult i = RunProgram(
        RO_CMAKE, {"--install", build.path().string(), "--prefix", prefix.path().string()}, 120.0);
    ASSERT_EQ(i.exit_status, 0) << i.out << i.err;

    TempDir scene;
    const ProgramResult g = RunProgram(
        RO_SCENE_PROGRAM, {scene.File("img1.key"), scene.File("img2.key"), "7", "--camera",
                           "250000", "1999.5", "1499.5", "0.02", "0.024", "--frame", "4000", "3000",
                           "--truth", "0.08", "-0.04", "0.9", "-1.1", "2.0"});
    ASSERT_EQ(g.exit_status, 0) << g.err;

    const ProgramResult r = RunProgram((prefix.path() / "bin/relative").string(),
                                       {scene.File("img1.key"), scene.File("img2.key")}, 900.0);
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    // Exact tie points, positions rounded to 0.01 px.
    EXPECT_EQ(relative_texts::PrintedResult(r.err, "X2-X1:"), 1.0) << r.err;
    EXPECT_NEAR(relative_texts::PrintedResult(r.err, "Y2-Y1:"), 0.08, 1e-3) << r.err;
    EXPECT_NEAR(relative_texts::PrintedResult(r.err, "Z2-Z1:"), -0.04, 1e-3) << r.err;
    EXPECT_NEAR(relative_texts::PrintedResult(r.err, "THETA2-THETA1:"), 0.9, 0.05) << r.err;
    EXPECT_NEAR(relative_texts::PrintedResult(r.err, "PHI2-PHI1:"), -1.1, 0.05) << r.err;
    EXPECT_NEAR(relative_texts::PrintedResult(r.err, "KAPA2-KAPA1:"), 2.0, 0.05) << r.err;
}

struct RejectedCase {
    const char* name;
    const char* variable;
    const char* value;
    const char* why;  // the end of the configure error
};

class RejectedCameraTest : public testing::TestWithParam<RejectedCase> {};

TEST_P(RejectedCameraTest, ConfigureStopsWithTheReason) {
    const RejectedCase& k = GetParam();
    TempDir build;
    std::vector<std::string> configure = ConfigureArgs(build);
    configure.push_back(std::string("-D") + k.variable + "=" + k.value);
    const ProgramResult c = RunProgram(RO_CMAKE, configure, 600.0);
    EXPECT_NE(c.exit_status, 0);
    const std::string reason = std::string(k.variable) + " must be " + k.why;
    EXPECT_NE(c.err.find(reason), std::string::npos) << c.err;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RejectedCameraTest,
    testing::Values(
        RejectedCase{"word", "RO_CAMERA_FOCAL_LENGTH", "long", "a decimal number, not 'long'"},
        RejectedCase{"empty", "RO_CAMERA_THETA", "", "a decimal number, not ''"},
        RejectedCase{"suffix", "RO_CAMERA_PIXELS_PER_METRE", "250000f",
                     "a decimal number, not '250000f'"},
        RejectedCase{"expression", "RO_CAMERA_PRINCIPAL_I", "1999+1",
                     "a decimal number, not '1999+1'"},
        RejectedCase{"zero_scale", "RO_CAMERA_PIXELS_PER_METRE", "0", "greater than 0, not '0'"},
        RejectedCase{"negative_focal_length", "RO_CAMERA_FOCAL_LENGTH", "-0.024",
                     "greater than 0, not '-0.024'"}),
    CaseName());

}  // namespace
