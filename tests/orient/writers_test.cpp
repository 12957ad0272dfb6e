// The three writers on hand-built results: the report's layout byte for byte, the JSON's
// fields and schema as a JSON reader sees them, the CSV's header and rows.
#include "orient/writers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "camera/camera_file.h"
#include "pair_run/json_report.h"
#include "testing/temp_dir.h"
#include "testing/text_lines.h"
#include "tests/orient/sample_result.h"

namespace {

using test_support::Lines;
using test_support::ReadFileBytes;

using nlohmann::json;

std::vector<std::string> Fields(const std::string& row) {
    std::vector<std::string> fields;
    std::istringstream in(row);
    for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
    if (!row.empty() && row.back() == ',') fields.emplace_back();
    return fields;
}

// The layout users and scripts read: a change must be deliberate.
TEST(TextReport, OrientedLayoutIsStable) {
    const std::string report = orient::TextReport(SampleOrientedResult(), SampleRun());
    EXPECT_EQ(report, ReadFileBytes(RO_TEST_DATA_DIR "/report_oriented.txt")) << report;
}

TEST(TextReport, RefusalSaysWhyFirstAndShowsTheRobustLoop) {
    const std::string report = orient::TextReport(SampleRefusedResult(), SampleRun());
    EXPECT_EQ(report, ReadFileBytes(RO_TEST_DATA_DIR "/report_refused.txt")) << report;
    EXPECT_EQ(Lines(report).front(), "no reliable orientation: only 9 inliers, at least 15 needed");
}

TEST(JsonReport, HoldsTheElementsAndEveryRequiredField) {
    const json doc = json::parse(pair_run::JsonReport(SampleOrientedResult(), SampleRun()));
    EXPECT_EQ(doc["schema"], "relative-orientation/1");
    EXPECT_EQ(doc["outcome"]["code"], "oriented");
    EXPECT_EQ(doc["program"]["seed"], 42);
    const struct {
        const char* name;
        double value;
        double sigma;
        double sigma_a_priori;
    } elements[] = {{"by", 0.01234, 0.00041, 0.0005},
                    {"bz", -0.03456, 0.00037, 0.00045},
                    {"omega_deg", 0.4567, 0.0123, 0.015},
                    {"phi_deg", -1.2345, 0.0098, 0.01195},
                    {"kappa_deg", 12.3456, 0.0045, 0.00549}};
    for (const auto& e : elements) {
        SCOPED_TRACE(e.name);
        EXPECT_NEAR(doc["elements"][e.name]["value"].get<double>(), e.value, 1e-12);
        EXPECT_NEAR(doc["elements"][e.name]["sigma"].get<double>(), e.sigma, 1e-12);
        EXPECT_NEAR(doc["elements"][e.name]["sigma_a_priori"].get<double>(), e.sigma_a_priori,
                    1e-12);
    }
    EXPECT_EQ(doc["adjustment"]["sigma_scale"], "a_posteriori");
    const json order = {"by", "bz", "omega_deg", "phi_deg", "kappa_deg"};
    for (const char* matrix : {"covariance", "correlation"}) {
        EXPECT_EQ(doc[matrix]["order"], order);
        ASSERT_EQ(doc[matrix]["matrix"].size(), 5u);
        for (const json& row : doc[matrix]["matrix"]) EXPECT_EQ(row.size(), 5u);
    }
    // The covariance in the elements' units: the omega variance in degrees squared.
    EXPECT_NEAR(doc["covariance"]["matrix"][2][2].get<double>(), 0.0123 * 0.0123, 1e-12);
    EXPECT_EQ(doc["correlation"]["matrix"][2][0], -0.978);
    EXPECT_EQ(doc["adjustment"]["redundancy"], 562);
    EXPECT_EQ(doc["adjustment"]["chi2_test"]["accepted"], false);
    EXPECT_EQ(doc["robust"]["inliers"], 571);
    EXPECT_EQ(doc["geometry"]["gruber_regions_covered"], 6);
    EXPECT_EQ(doc["cv_form"]["R_cam2_from_cam1"].size(), 3u);
    EXPECT_NEAR(doc["second_solution"]["elements"]["kappa_deg"]["value"].get<double>(), 3.0, 1e-12);
    EXPECT_NEAR(doc["second_solution"]["sigmas_apart"].get<double>(), 25.0, 1e-12);
    EXPECT_EQ(doc["points_csv"], "points.csv");
    ASSERT_EQ(doc["warnings"].size(), 2u);
    EXPECT_EQ(doc["warnings"][0], json({{"code", "W-CORR-BY-OMEGA"},
                                        {"message", "by and omega poorly separable"},
                                        {"value", -0.978}}));
    // Not-a-number is no JSON number: null.
    EXPECT_TRUE(doc["warnings"][1]["value"].is_null());
    EXPECT_TRUE(doc["adjustment"]["mdb_y_parallax_px"]["max"].is_null());
}

// A base across the photograph: by and bz cannot be divided out (null, with their rows of the
// covariance), while the base direction and the rotation with their sigmas state the result.
TEST(JsonReport, BaseAcrossGivesTheDirectionAndRotationAndNullElements) {
    ro::OrientationResult r = SampleOrientedResult();
    r.orientation.base = Eigen::Vector3d(0.02, 0.9997, -0.015).normalized();
    r.elements.by = r.elements.bz = std::numeric_limits<double>::quiet_NaN();
    r.precision.elements_defined = false;
    r.precision.sigma[0] = r.precision.sigma[1] = std::numeric_limits<double>::quiet_NaN();
    r.precision.covariance.topRows<2>().setConstant(std::numeric_limits<double>::quiet_NaN());
    const json doc = json::parse(pair_run::JsonReport(r, SampleRun()));
    for (const char* name : {"by", "bz"}) {
        EXPECT_TRUE(doc["elements"][name]["value"].is_null()) << name;
        EXPECT_TRUE(doc["elements"][name]["sigma"].is_null()) << name;
    }
    EXPECT_NEAR(doc["elements"]["kappa_deg"]["value"].get<double>(), 12.3456, 1e-12);
    EXPECT_TRUE(doc["covariance"]["matrix"][0][0].is_null());
    EXPECT_NEAR(doc["covariance"]["matrix"][4][4].get<double>(), 0.0045 * 0.0045, 1e-12);
    EXPECT_NEAR(doc["base_direction"]["value"][1].get<double>(), r.orientation.base.y(), 1e-15);
    EXPECT_EQ(doc["base_direction"]["sigma"].size(), 3u);
    EXPECT_NEAR(doc["rotation"]["sigma_deg"][0].get<double>(), 0.0123, 1e-12);
    EXPECT_EQ(doc["rotation"]["matrix"].size(), 3u);
}

TEST(JsonReport, RefusalHasTheSameFieldsWithNullsAndTheReason) {
    const json oriented = json::parse(pair_run::JsonReport(SampleOrientedResult(), SampleRun()));
    const json refused = json::parse(pair_run::JsonReport(SampleRefusedResult(), SampleRun()));
    std::vector<std::string> keys_oriented;
    std::vector<std::string> keys_refused;
    for (const auto& item : oriented.items()) keys_oriented.push_back(item.key());
    for (const auto& item : refused.items()) keys_refused.push_back(item.key());
    EXPECT_EQ(keys_refused, keys_oriented);
    EXPECT_EQ(refused["outcome"]["code"], "too_few_inliers");
    EXPECT_EQ(refused["outcome"]["reason"], "only 9 inliers, at least 15 needed");
    EXPECT_TRUE(refused["elements"].is_null());
    EXPECT_TRUE(refused["covariance"].is_null());
    EXPECT_TRUE(refused["geometry"].is_null());
    EXPECT_EQ(refused["robust"]["iterations"], 10000);
}

// A rotation only is a refusal whose geometry says why: the figures are kept, in the JSON
// and in the report, while the elements are null.
TEST(Reports, NoParallaxKeepsTheGeometryThatExplainsIt) {
    ro::OrientationResult r = SampleOrientedResult();
    r.outcome = ro::Outcome::no_parallax;
    r.reason = "the photographs differ by a rotation only";
    r.geometry.configuration = ro::Configuration::rotation_only;
    r.geometry.h_over_e_inlier_ratio = 0.98;
    r.geometry.rotation_only_measure = 0.0012;
    const json doc = json::parse(pair_run::JsonReport(r, SampleRun()));
    EXPECT_TRUE(doc["elements"].is_null());
    EXPECT_EQ(doc["geometry"]["configuration"], "rotation_only");
    EXPECT_EQ(doc["geometry"]["h_over_e_inlier_ratio"], 0.98);
    EXPECT_EQ(doc["geometry"]["rotation_only_measure"], 0.0012);
    const std::string report = orient::TextReport(r, SampleRun());
    EXPECT_NE(report.find("H/E inlier ratio 0.980 (177 homography inliers)   rotation-only "
                          "measure 0.0012"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("configuration rotation_only"), std::string::npos) << report;
}

// An ambiguous run is no orientation, yet shows both solutions for the user to judge.
TEST(Reports, AmbiguousRunRefusesAndShowsBothSolutions) {
    ro::OrientationResult r = SampleOrientedResult();
    r.outcome = ro::Outcome::ambiguous;
    r.reason = "two solutions fit the tie points equally well";
    const std::vector<std::string> lines = Lines(orient::TextReport(r, SampleRun()));
    EXPECT_EQ(lines.front(), "no reliable orientation: " + r.reason);
    const auto has = [&](const std::string& start) {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.rfind(start, 0) == 0; });
    };
    EXPECT_TRUE(has("element "));
    EXPECT_TRUE(has("second     a second solution"));
    EXPECT_TRUE(has("outcome    ambiguous"));
    const json doc = json::parse(pair_run::JsonReport(r, SampleRun()));
    EXPECT_EQ(doc["outcome"]["code"], "ambiguous");
    EXPECT_EQ(doc["outcome"]["oriented"], false);
    EXPECT_FALSE(doc["elements"].is_null());
    EXPECT_FALSE(doc["second_solution"].is_null());
}

// Photograph 2 taken with a camera given in pixels, non-square and distorted: no metric
// figures (null in the JSON, none in the report, also none derived from camera 1's pixel
// when it is the one given in pixels), the row focal length and the coefficients.
TEST(Reports, CameraInPixelsShowsNoMetricFiguresAndItsDistortion) {
    pair_run::RunInfo run = SampleRun();
    run.same_camera = false;
    run.camera2.camera = std::get<ro::Camera>(ro::ParseCameraText(
        "focal_length_px = 1000 1002\nprincipal_point = 639.5 479.5\nk1 = -0.25\nk2 = 0.125\n"
        "p1 = 1e-3\n"));
    run.camera2.file = "phone.cam";
    json doc = json::parse(pair_run::JsonReport(SampleOrientedResult(), run));
    const json& camera2 = doc["camera2"];
    EXPECT_EQ(camera2["units"], "px");
    for (const char* metric : {"focal_mm", "pixel_um", "pixels_per_metre"}) {
        EXPECT_TRUE(camera2[metric].is_null()) << metric;
    }
    EXPECT_DOUBLE_EQ(camera2["focal_px"].get<double>(), 1000.0);
    EXPECT_DOUBLE_EQ(camera2["focal_px_row"].get<double>(), 1002.0);
    EXPECT_EQ(camera2["row_scale"], 1.002);
    EXPECT_EQ(camera2["distortion"],
              json({{"k1", -0.25}, {"k2", 0.125}, {"k3", 0.0}, {"p1", 1e-3}, {"p2", 0.0}}));
    EXPECT_EQ(camera2["file"], "phone.cam");
    // Camera 1 keeps its metric figures, with no distortion.
    EXPECT_EQ(doc["camera"]["units"], "mm");
    EXPECT_EQ(doc["camera"]["row_scale"], 1.0);
    EXPECT_TRUE(doc["camera"]["distortion"].is_null());
    EXPECT_NEAR(doc["camera"]["pixel_um"].get<double>(), 7.4, 1e-8);
    EXPECT_FALSE(doc["adjustment"]["sigma0_um"].is_null());

    const std::vector<std::string> lines = Lines(orient::TextReport(SampleOrientedResult(), run));
    const auto at = std::find(lines.begin(), lines.end(),
                              "camera 2   f 1000.00 px, rows 1002.00 px   principal point "
                              "(639.50, 479.50) px");
    ASSERT_NE(at, lines.end());
    ASSERT_LT(at + 2, lines.end());
    EXPECT_EQ(at[1], "           in-plane angle 0.0000 deg   camera file phone.cam");
    EXPECT_EQ(at[2], "           distortion k1 -0.25  k2 0.125  k3 0  p1 0.001  p2 0");

    // Camera 1 in pixels: sigma0 and the y-parallax stay in pixels.
    std::swap(run.camera1, run.camera2);
    doc = json::parse(pair_run::JsonReport(SampleOrientedResult(), run));
    EXPECT_TRUE(doc["adjustment"]["sigma0_um"].is_null());
    EXPECT_TRUE(doc["adjustment"]["y_parallax_rms_um"].is_null());
    const std::string report = orient::TextReport(SampleOrientedResult(), run);
    EXPECT_NE(report.find("\n           sigma0 0.410 px   a priori 0.500 px\n"), std::string::npos)
        << report;
    EXPECT_NE(report.find("\n           y-parallax RMS 0.580 px   largest"), std::string::npos);
}

TEST(JsonReport, FileNamesThatAreNotUtf8StillGiveValidJson) {
    pair_run::RunInfo run = SampleRun();
    run.keys1_file = "img\xff\xfe.key";
    const std::string text = pair_run::JsonReport(SampleOrientedResult(), run);
    EXPECT_EQ(json::parse(text)["input"]["keys1"], "img\xEF\xBF\xBD\xEF\xBF\xBD.key");
}

// Inputs without file names (handed over in memory) are not printed as empty names.
TEST(TextReport, InputLineNamesTheTiePointFileOrSaysInMemory) {
    pair_run::RunInfo run = SampleRun();
    run.keys1_file.clear();
    std::vector<std::string> lines = Lines(orient::TextReport(SampleOrientedResult(), run));
    ASSERT_GT(lines.size(), 1u);
    EXPECT_EQ(lines[1].rfind("input      (in memory)  ", 0), 0u) << lines[1];
    run.tie_points = true;
    run.tie_points_file = "ties.csv";
    lines = Lines(orient::TextReport(SampleOrientedResult(), run));
    ASSERT_GT(lines.size(), 2u);
    EXPECT_EQ(lines[1], "input      tie points ties.csv");
    EXPECT_EQ(lines[2].rfind("           tie points ", 0), 0u) << lines[2];
}

TEST(PointsCsv, HeaderThenOneRowPerTiePointWithEmptyFieldsForNaN) {
    const std::vector<std::string> lines = Lines(orient::PointsCsv(SampleOrientedResult()));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0],
              "match,row1,col1,row2,col2,x1_um,y1_um,x2_um,y2_um,ratio,status,sampson_px,"
              "y_parallax_px,w,redundancy,mdb_px");
    EXPECT_EQ(lines[1],
              "1,100.250,200.500,101.000,190.750,-5330.700,3043.100,-5399.200,3036.900,0.2500,"
              "inlier,0.1250,-0.1875,-0.500,0.9375,2.875");
    EXPECT_EQ(Fields(lines[2])[10], "snooped");
    EXPECT_EQ(lines[3],
              "3,300.750,601.500,303.000,572.250,-5328.700,3041.100,-5397.200,3034.900,0.7500,"
              "ransac_outlier,0.3750,-0.5625,,,");
    for (const std::string& line : lines) EXPECT_EQ(Fields(line).size(), 16u) << line;
}

}  // namespace
