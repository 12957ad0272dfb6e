// camera_from_calibration on calibrations that OpenCV's own writer makes (YAML, XML, JSON; the
// names of its calibration sample and the short ones): the camera file it writes gives the
// calibration's fx, fy, cx, cy and coefficients; models it cannot hold and files that are no
// calibration are refused with the file and the reason.
#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/core.hpp>
#include <string>
#include <variant>
#include <vector>

#include "camera/camera_file.h"
#include "testing/case_name.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using test_support::CaseName;
using test_support::ProgramResult;
using test_support::ReadFileBytes;
using test_support::RunProgram;
using test_support::TempDir;

ProgramResult Convert(const std::vector<std::string>& args) {
    return RunProgram(CAMERA_FROM_CALIBRATION, args, 60.0);
}

// A calibration as OpenCV writes it: the format follows the file name's extension.
struct Calibration {
    const char* matrix_name;
    const char* coefficients_name;
    cv::Mat matrix;
    cv::Mat coefficients;
};

void WriteCalibration(const std::string& path, const Calibration& c) {
    cv::FileStorage storage(path, cv::FileStorage::WRITE);
    storage << "image_width" << 1920 << "image_height" << 1080;
    storage << c.matrix_name << c.matrix << c.coefficients_name << c.coefficients;
}

cv::Mat CameraMatrix(double fx, double fy, double cx, double cy, double skew = 0.0) {
    return (cv::Mat_<double>(3, 3) << fx, skew, cx, 0.0, fy, cy, 0.0, 0.0, 1.0);
}

// The coefficients in OpenCV's order k1 k2 p1 p2 [k3 ...].
cv::Mat Coefficients(std::vector<double> values, bool as_column = true) {
    cv::Mat row(values, true);
    return as_column ? cv::Mat(row) : cv::Mat(row.t());
}

// A calibration written by OpenCV, or a text, and the camera file's k1 k2 k3 p1 p2 or the
// refusal after "camera_from_calibration: FILE: ".
struct Case {
    std::string name;
    std::string file;  // its extension chooses YAML, XML or JSON
    std::variant<Calibration, std::string> source;
    std::string err = {};
    std::vector<double> k = {};
};
using K = std::vector<double>;

// A camera matrix as a plain YAML list, which the program takes as well as OpenCV's matrices.
const std::string kK = "K: [800, 0, 320, 0, 800, 240, 0, 0, 1]\n";

class ConverterTest : public testing::TestWithParam<Case> {};

TEST_P(ConverterTest, CameraFileGivesTheCalibrationOrRefusalNamesFileAndReason) {
    const Case& c = GetParam();
    TempDir dir;
    const std::string calibration = dir.File(c.file);
    if (const auto* text = std::get_if<std::string>(&c.source)) {
        dir.Write(c.file, *text);
    } else {
        WriteCalibration(calibration, std::get<Calibration>(c.source));
    }
    const std::string out = dir.File("out.cam");
    const ProgramResult r = Convert({calibration, out});
    if (!c.err.empty()) {
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "camera_from_calibration: " + calibration + ": " + c.err + "\n");
        EXPECT_FALSE(std::filesystem::exists(out));
        return;
    }
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string text = ReadFileBytes(out);
    EXPECT_NE(text.find("\n# image 1920 x 1080 px\n"), std::string::npos) << text;
    const ro::CameraFileResult parsed = ro::ParseCameraText(text);
    ASSERT_TRUE(std::holds_alternative<ro::Camera>(parsed))
        << std::get<ro::CameraFileError>(parsed).reason;
    const ro::Camera& camera = std::get<ro::Camera>(parsed);
    const cv::Mat_<double> k = std::get<Calibration>(c.source).matrix;
    EXPECT_TRUE(camera.in_pixels);
    EXPECT_NEAR(camera.FocalLengthPx(), k(0, 0), 1e-9);
    EXPECT_NEAR(camera.FocalLengthPx() * camera.row_scale, k(1, 1), 1e-9);
    EXPECT_EQ(camera.principal_column_px, k(0, 2));
    EXPECT_EQ(camera.principal_row_px, k(1, 2));
    const ro::Distortion& d = camera.distortion;
    EXPECT_EQ((std::vector<double>{d.k1, d.k2, d.k3, d.p1, d.p2}), c.k);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConverterTest,
    testing::Values(
        Case{"sample_names_yaml", "c.yml",
             Calibration{"camera_matrix", "distortion_coefficients",
                         CameraMatrix(1402.5123456789, 1404.25, 959.53, 539.51),
                         Coefficients({-0.2817, 0.0931, 1.2e-4, -3.4e-4, -0.0112})},
             "", K{-0.2817, 0.0931, -0.0112, 1.2e-4, -3.4e-4}},
        // A float matrix and the 8-coefficient model with its rational terms at 0.
        Case{"camel_case_names_xml_float_eight_coefficients", "c.xml",
             Calibration{"cameraMatrix", "distCoeffs",
                         cv::Mat_<float>(CameraMatrix(800, 800, 320, 240)),
                         Coefficients({0.125, -0.5, 0.0, 0.0, 0.25, 0.0, 0.0, 0.0}, false)},
             "", K{0.125, -0.5, 0.25, 0.0, 0.0}},
        Case{"short_names_json_four_coefficients", "c.json",
             Calibration{"K", "D", CameraMatrix(3000, 2990, 2015.5, 1511.25),
                         Coefficients({0.01, 0.0, 0.0, 0.0})},
             "", K{0.01, 0.0, 0.0, 0.0, 0.0}},
        Case{"rational_model", "c.yml", kK + "D: [0.1, 0.01, 0, 0, 0.001, 0.5, 0, 0]\n",
             "the 8-coefficient model's k4 is 0.5, not 0: a camera file has k1, k2, p1, p2 and k3 "
             "only (calibrate without the rational, thin-prism and tilt terms)"},
        Case{"skew", "c.yml",
             "camera_matrix: [800, 0.5, 320, 0, 800, 240, 0, 0, 1]\nD: [0, 0, 0, 0]\n",
             "'camera_matrix' has a skew of 0.5 (row 1, column 2): the camera model has none"},
        Case{"principal_point_outside_the_camera_file_ranges", "c.yml",
             "K: [800, 0, -320, 0, 800, 240, 0, 0, 1]\nD: [0, 0, 0, 0]\n",
             "no camera a camera file can hold: 'principal_point' -320 is out of range: 0 to "
             "100000 px for column and row"},
        Case{"six_coefficients", "c.yml", kK + "D: [0, 0, 0, 0, 0, 0]\n",
             "'D' is not a list of 4, 5, 8, 12 or 14 finite numbers"},
        Case{"no_coefficients", "c.yml", "%YAML:1.0\n" + kK,
             "no distortion coefficients (distortion_coefficients, distCoeffs or D)"},
        Case{"no_matrix", "c.yml", "%YAML:1.0\nD: [0, 0, 0, 0]\n",
             "no camera matrix (camera_matrix, cameraMatrix or K)"},
        Case{"not_yaml", "c.yml", "K: [500, 0, 320\n",
             "not an OpenCV calibration file (YAML or XML): line 1: Missing , between the "
             "elements"},
        Case{"binary", "c.yml", std::string("\177ELF\x02\x01\x01", 7),
             "not an OpenCV calibration file (YAML or XML): it holds binary data"}),
    CaseName());

// What the output checks shared with the other programs do not show: this program refuses an
// output of another kind, replaces a camera file, takes the image size from --image-size and
// wants two files.
TEST(Converter, OutputsAndUsage) {
    TempDir dir;
    const std::string calibration = dir.Write("c.yml", kK + "D: [0, 0, 0, 0]\n");
    const std::string json = dir.Write("report.json", "{}\n");
    EXPECT_EQ(Convert({calibration, json}).exit_status, 1);
    EXPECT_EQ(ReadFileBytes(json), "{}\n");
    const std::string camera = dir.Write("old.cam", "# old\nfocal_length_mm = 24\n");
    EXPECT_EQ(Convert({"--image-size", "640", "480", calibration, camera}).exit_status, 0);
    EXPECT_NE(ReadFileBytes(camera).find("\n# image 640 x 480 px\nfocal_length_px = 800 800\n"),
              std::string::npos);
    const ProgramResult usage = Convert({calibration});
    EXPECT_EQ(usage.exit_status, 2);
    EXPECT_EQ(usage.err,
              "camera_from_calibration: expected two files, CALIBRATION and OUTPUT, found 1\n"
              "Try 'camera_from_calibration --help' for more information.\n");
}

}  // namespace
