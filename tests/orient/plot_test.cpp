// The plot as a real SVG renderer draws it: the right size, not blank, the inliers in the
// inlier colour where the inliers are, the photograph under the points. The SVG's structure
// on results built to stress it: vectors within the frame, labels over the points, a legend
// entry for every kind of mark drawn, many points thinned and said so, counts and warnings
// in the caption.
#include <gtest/gtest.h>

#include <functional>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <regex>
#include <string>
#include <vector>

#include "image/image_header.h"
#include "orient/plot_layout.h"
#include "orient/plot_svg.h"
#include "robust_orientation/estimate.h"
#include "testing/case_name.h"
#include "testing/orient_scene.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using scene::SceneOptions;
using test_support::CaseName;
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

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
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
    pair_run::RunInfo run_;
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
        // Six tie points, each a mark of its kind.
        EXPECT_EQ(Count(svg, "\" x=\""), 6u) << name;
    }
}

// Tie points spread over the frame, `count` of `status` with a y-parallax of up to 2 px.
void AddPoints(ro::OrientationResult& r, std::size_t count, ro::PointStatus status) {
    std::uint32_t state = 12345u + static_cast<std::uint32_t>(r.points.size());
    const auto next = [&state](double range) {
        state = state * 1664525u + 1013904223u;
        return range * (state >> 8) / double(1u << 24);
    };
    for (std::size_t k = 0; k < count; ++k) {
        ro::PointResult p;
        p.status = status;
        p.col1_px = next(1919.0);
        p.row1_px = next(1023.0);
        p.y_parallax_px = next(4.0) - 2.0;
        r.points.push_back(p);
    }
    r.matches = static_cast<int>(r.points.size());
}

// What holds for every plot: each vector starts and ends within the frame; the labels
// come after the last mark; each kind of mark has a legend entry exactly when it is drawn,
// and no more of a kind are drawn than its limit.
void ExpectWellDrawn(const std::string& svg, const orient::Box& frame) {
    const std::size_t at = svg.find("<g class=\"parallax\">");
    ASSERT_NE(at, std::string::npos);
    const std::string vectors = svg.substr(at, svg.find("</g>", at) - at);
    const std::regex segment("M([-0-9.]+) ([-0-9.]+)V([-0-9.]+)");
    for (auto m = std::sregex_iterator(vectors.begin(), vectors.end(), segment);
         m != std::sregex_iterator(); ++m) {
        const double x = std::stod((*m)[1]);
        EXPECT_TRUE(frame.Holds(x, std::stod((*m)[2])) && frame.Holds(x, std::stod((*m)[3])))
            << m->str();
    }
    const std::string legend = svg.substr(svg.find("<g id=\"legend\">"));
    EXPECT_GT(svg.find("<g id=\"labels\""), svg.rfind("\" x=\""));
    const std::pair<const char*, std::size_t> kinds[] = {{"inlier", orient::kMaxDrawnInliers},
                                                         {"snooped", orient::kMaxDrawnRejected},
                                                         {"rejected", orient::kMaxDrawnRejected}};
    for (const auto& [id, limit] : kinds) {
        const std::size_t marks = Count(svg, std::string("href=\"#") + id + "\" x=");
        EXPECT_LE(marks, limit) << id;
        EXPECT_EQ(marks > 0, Count(legend, std::string("href=\"#") + id) == 1) << id;
    }
    EXPECT_EQ(vectors.find("<path") != std::string::npos,
              legend.find("y-parallax \xC3\x97") != std::string::npos);
    EXPECT_EQ(svg.find("stroke-dasharray") < svg.find("<g id=\"legend\">"),
              legend.find("von Gruber region") != std::string::npos);
}

struct PlotCase {
    const char* name;
    std::function<void(ro::OrientationResult&)> change;
    std::vector<std::string> shown;
    std::vector<std::string> not_shown;
};

void PrintTo(const PlotCase& c, std::ostream* os) { *os << c.name; }

class PlotCaseTest : public PlotTest, public testing::WithParamInterface<PlotCase> {};

TEST_P(PlotCaseTest, DrawsWithinTheFrameAndSaysWhatItDrew) {
    const PlotCase& c = GetParam();
    ASSERT_EQ(result_.outcome, ro::Outcome::oriented);
    c.change(result_);
    const std::string svg = orient::PlotSvg(result_, run_, nullptr);
    ExpectWellDrawn(svg, orient::FrameOf(run_, nullptr));
    for (const std::string& text : c.shown) EXPECT_NE(svg.find(text), std::string::npos) << text;
    for (const std::string& text : c.not_shown)
        EXPECT_EQ(svg.find(text), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlotCaseTest,
    testing::Values(
        // Long vectors at the edges and outside the frame are cut there and said to be.
        PlotCase{"long_vectors",
                 [](ro::OrientationResult& r) {
                     AddPoints(r, 40, ro::PointStatus::snooped);
                     for (std::size_t k = 0; k < r.points.size(); k += 3) {
                         if (r.points[k].status != ro::PointStatus::inlier) continue;
                         r.points[k].y_parallax_px = k % 2 == 0 ? 900.0 : -900.0;
                         r.points[k].row1_px = k % 2 == 0 ? 2.0 : 1020.0;
                     }
                     r.points[0].col1_px = -300.0;
                 },
                 {"vectors cut at the frame", "rejected by data snooping<",
                  "rejected by the robust loop<", "y-parallax \xC3\x97 "},
                 {"drawn, spread evenly"}},
        PlotCase{"one_point",
                 [](ro::OrientationResult& r) {
                     r.points.resize(1);
                     r.points[0].status = ro::PointStatus::inlier;
                     r.matches = 1;
                     r.geometry.gruber_counts = {1, 0, 0, 0, 0, 0};
                 },
                 {"1 tie point: 1 inlier,", ">1 inlier<"},
                 {"1 inliers", "1 tie points", "rejected by the robust loop<"}},
        // Every warning: its code and its finding, not the advice after the colon.
        PlotCase{"warnings",
                 [](ro::OrientationResult& r) {
                     r.warnings = {{"W-FIRST", "a finding &: some advice", 0.0},
                                   {"W-SECOND", "no colon here", 0.0}};
                 },
                 {"warning: a finding &amp; (W-FIRST)", "warning: no colon here (W-SECOND)"},
                 {"some advice"}},
        // Many points: a bounded, announced selection of each kind.
        PlotCase{"many_points",
                 [](ro::OrientationResult& r) {
                     r.points.clear();
                     AddPoints(r, 5000, ro::PointStatus::inlier);
                     AddPoints(r, 1200, ro::PointStatus::ransac_outlier);
                     AddPoints(r, 30, ro::PointStatus::snooped);
                 },
                 {"inlier (2000 of 5000 drawn, spread evenly)",
                  "rejected by the robust loop (1000 of 1200 drawn, spread evenly)",
                  "rejected by data snooping<", "6230 tie points: 5000 inliers,"},
                 {}}),
    CaseName());

// The drawn share of many points is spread over the frame: every quarter holds about a
// quarter of them, also when most points crowd one corner.
TEST_F(PlotTest, ThinningSpreadsThePointsOverTheFrame) {
    result_.points.clear();
    AddPoints(result_, 6000, ro::PointStatus::inlier);
    for (std::size_t k = 0; k < 2000; ++k) {  // a crowd in the top-left quarter
        result_.points[k].col1_px *= 0.5;
        result_.points[k].row1_px *= 0.5;
    }
    const orient::Box frame = orient::FrameOf(run_, nullptr);
    const std::vector<std::size_t> drawn =
        orient::PointsToDraw(result_, ro::PointStatus::inlier, 1000, frame);
    ASSERT_EQ(drawn.size(), 1000u);
    int quarters[2][2] = {{0, 0}, {0, 0}};
    for (const std::size_t k : drawn) {
        const ro::PointResult& p = result_.points[k];
        ++quarters[p.row1_px > 511.5 ? 1 : 0][p.col1_px > 959.5 ? 1 : 0];
    }
    for (const auto& row : quarters) {
        for (const int n : row) EXPECT_NEAR(n, 250, 60);
    }
}

}  // namespace
