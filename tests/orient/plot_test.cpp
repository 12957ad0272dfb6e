// The plot as a real SVG renderer draws it: the right size, not blank, the inliers in the
// inlier colour where the inliers are, the photograph under the points.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "image/image_header.h"
#include "orient/plot_svg.h"
#include "robust_orientation/estimate.h"
#include "testing/orient_scene.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using scene::SceneOptions;
using test_support::ProgramResult;
using test_support::RunProgram;
using test_support::TempDir;

cv::Vec3b Bgr(const char* hex) {
    const unsigned long rgb = std::stoul(std::string(hex + 1), nullptr, 16);
    return {static_cast<unsigned char>(rgb & 0xFF), static_cast<unsigned char>(rgb >> 8 & 0xFF),
            static_cast<unsigned char>(rgb >> 16 & 0xFF)};
}

bool Near(const cv::Vec3b& a, const cv::Vec3b& b) {
    for (int c = 0; c < 3; ++c) {
        if (std::abs(a[c] - b[c]) > 12) return false;
    }
    return true;
}

class PlotTest : public testing::Test {
  protected:
    void SetUp() override {
        SceneOptions options = scene::OrientSceneOptions(150, 31);
        options.outlier_fraction = 0.2;
        scene_ = scene::MakeOrientScene({0.03, -0.02, 0.02, -0.03, 0.4}, options);
        result_ = ro::EstimateOrientation(scene_.tie_points, scene_.camera1, scene_.camera2, {});
        run_.keys1_file = "a<b>.key";
        run_.keys2_file = "c&d.key";
        run_.camera1 = {ro::BuiltInCamera(), ""};
        run_.camera2 = run_.camera1;
    }

    // The SVG rendered to a picture by rsvg-convert.
    cv::Mat Render(const std::string& svg) {
        const std::string in = dir_.Write("plot.svg", svg);
        const std::string out = dir_.File("plot.png");
        const ProgramResult r = RunProgram(RO_RSVG_CONVERT, {"-o", out, in});
        EXPECT_EQ(r.exit_status, 0) << r.err;
        return cv::imread(out, cv::IMREAD_COLOR);
    }

    TempDir dir_;
    scene::OrientScene scene_;
    ro::OrientationResult result_;
    orient::RunInfo run_;
};

TEST_F(PlotTest, RendersTheFrameWithTheInliersInTheirColour) {
    ASSERT_EQ(result_.outcome, ro::Outcome::oriented);
    const cv::Mat picture = Render(orient::PlotSvg(result_, run_, nullptr));
    ASSERT_FALSE(picture.empty());
    EXPECT_EQ(picture.cols, 1920);  // the built-in camera's frame
    EXPECT_GT(picture.rows, 1024);  // and the caption below it
    cv::Scalar mean;
    cv::Scalar spread;
    cv::meanStdDev(picture, mean, spread);
    EXPECT_GT(spread[0] + spread[1] + spread[2], 10.0) << "blank picture";
    int inliers = 0;
    int shown = 0;
    int outliers = 0;
    int outliers_shown = 0;
    for (const ro::PointResult& p : result_.points) {
        const cv::Vec3b colour = picture.at<cv::Vec3b>(static_cast<int>(p.row1_px + 0.5),
                                                       static_cast<int>(p.col1_px + 0.5));
        if (p.status == ro::PointStatus::inlier) {
            ++inliers;
            shown += Near(colour, Bgr(orient::kInlierColour)) ? 1 : 0;
        } else if (p.status == ro::PointStatus::ransac_outlier) {
            ++outliers;
            outliers_shown += Near(colour, Bgr(orient::kRansacOutlierColour)) ? 1 : 0;
        }
    }
    ASSERT_GT(inliers, 100);
    EXPECT_GE(shown, inliers * 9 / 10);
    EXPECT_GE(outliers_shown, outliers * 3 / 4);
}

TEST_F(PlotTest, DrawsOverTheEmbeddedPhotograph) {
    cv::Mat photo(1024, 1920, CV_8UC3, cv::Scalar(40, 160, 220));  // orange-ish in BGR
    std::vector<unsigned char> png;
    ASSERT_TRUE(cv::imencode(".png", photo, png));
    orient::PlotPhotograph photograph;
    photograph.bytes.assign(png.begin(), png.end());
    const auto header = image::ReadImageHeader(photograph.bytes);
    ASSERT_TRUE(header.has_value());
    photograph.header = *header;
    const cv::Mat picture = Render(orient::PlotSvg(result_, run_, &photograph));
    ASSERT_FALSE(picture.empty());
    // A corner far from every point shows the photograph.
    EXPECT_TRUE(Near(picture.at<cv::Vec3b>(1000, 1900), cv::Vec3b(40, 160, 220)));
}

// Whether /usr/bin/python3's XML parser reads the SVG; its message when not.
ProgramResult ParseXml(TempDir& dir, const std::string& svg) {
    return RunProgram("/usr/bin/python3",
                      {"-c", "import sys, xml.etree.ElementTree as E; E.parse(sys.argv[1])",
                       dir.Write("parsed.svg", svg)});
}

// A refused run draws its tie points and the reason, no figures it did not compute; any
// file name leaves the SVG well-formed.
TEST_F(PlotTest, RefusedRunAndAnyFileNameGiveAWellFormedCaption) {
    const std::vector<ro::TiePoint> few(scene_.tie_points.begin(), scene_.tie_points.begin() + 6);
    const ro::OrientationResult refused =
        ro::EstimateOrientation(few, scene_.camera1, scene_.camera2, {});
    ASSERT_NE(refused.outcome, ro::Outcome::oriented);
    for (const char* name :
         {"a<b>&\"q'.key", "control\x01\x1f\x7f.key", "latin1 \xe9t\xe9.key", "cut \xe2\x82.key",
          "surrogate \xed\xa0\x80.key", "nonchar \xef\xbf\xbe c1 \xc2\x85.key", "line\nend.key"}) {
        run_.keys1_file = name;
        const std::string svg = orient::PlotSvg(refused, run_, nullptr);
        const ProgramResult parsed = ParseXml(dir_, svg);
        EXPECT_EQ(parsed.exit_status, 0) << name << ": " << parsed.err;
        EXPECT_NE(svg.find("not oriented: " + refused.reason), std::string::npos) << name;
        EXPECT_EQ(svg.find("sigma0"), std::string::npos) << name;
        EXPECT_EQ(svg.find("\xC2\xB1"), std::string::npos) << name;  // no element +- sigma
        // Six tie points and the legend's three dots.
        std::size_t circles = 0;
        for (std::size_t at = svg.find("<circle"); at != std::string::npos;
             at = svg.find("<circle", at + 1)) {
            ++circles;
        }
        EXPECT_EQ(circles, 9u) << name;
    }
}

}  // namespace
