// The pair matrix as a real SVG renderer draws it, for a small and a large block: cells in
// their outcome's colour where their pair belongs, more inliers darker, empty cells light,
// every outcome drawn in the legend, the SVG well-formed whatever the names.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <regex>
#include <string>
#include <vector>

#include "block/pair_matrix_svg.h"
#include "testing/case_name.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using test_support::CaseName;
using test_support::ProgramResult;
using test_support::RunProgram;
using test_support::TempDir;

struct Block {
    std::vector<block::Photograph> photographs;
    std::vector<block::StoredPair> pairs;
};

// `n` photographs in strips of 10; each paired with the next three, the outcomes cycling
// through oriented (most), ambiguous and three refusals, inliers growing with the pair.
Block MakeBlock(int n) {
    static const char* const kOutcomes[] = {
        "oriented", "oriented",        "oriented", "ambiguous", "oriented",
        "no_model", "too_few_matches", "oriented", "oriented",  "too_few_inliers"};
    Block b;
    for (int i = 0; i < n; ++i) {
        block::Photograph p;
        p.name = "strip" + std::to_string(i / 10 + 1) + "_IMG_" + std::to_string(4000 + i);
        p.id = i + 1;
        b.photographs.push_back(p);
    }
    b.photographs[0].name = "a<b>&\"q'";
    int k = 0;
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < std::min(n, i + 4); ++j, ++k) {
            block::StoredPair p;
            p.photo1 = i + 1;
            p.photo2 = j + 1;
            p.name1 = b.photographs[static_cast<std::size_t>(i)].name;
            p.name2 = b.photographs[static_cast<std::size_t>(j)].name;
            p.outcome = kOutcomes[k % 10];
            const bool adjusted = p.outcome == "oriented" || p.outcome == "ambiguous";
            p.inliers = adjusted ? 20 * (k % 50 + 1) : k % 7;
            if (k % 4 == 1) p.warnings = {"W-CORR-BY-OMEGA"};
            b.pairs.push_back(p);
        }
    }
    return b;
}

cv::Vec3b Bgr(const std::string& hex) {
    const unsigned long rgb = std::stoul(hex.substr(1), nullptr, 16);
    return {static_cast<unsigned char>(rgb & 0xFF), static_cast<unsigned char>(rgb >> 8 & 0xFF),
            static_cast<unsigned char>(rgb >> 16 & 0xFF)};
}

// The fill of a rectangle with the given title, from the SVG text.
std::string FillOf(const std::string& svg, const std::string& title) {
    const std::size_t at = svg.find("<title>" + title);
    const std::size_t fill = svg.rfind("fill=\"", at);
    return svg.substr(fill + 6, 7);
}

struct MatrixCase {
    const char* name;
    int photographs;
};

class PairMatrixTest : public testing::TestWithParam<MatrixCase> {};

TEST_P(PairMatrixTest, RendersEveryPairInItsCellAndColour) {
    const Block b = MakeBlock(GetParam().photographs);
    const std::string svg = block::PairMatrixSvg(b.photographs, b.pairs);
    TempDir dir;
    const std::string in = dir.Write("matrix.svg", svg);
    const ProgramResult parsed =
        RunProgram("/usr/bin/python3",
                   {"-c", "import sys, xml.etree.ElementTree as E; E.parse(sys.argv[1])", in});
    EXPECT_EQ(parsed.exit_status, 0) << parsed.err;
    const std::string out = dir.File("matrix.png");
    const ProgramResult r = RunProgram(RO_RSVG_CONVERT, {"-o", out, in});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const cv::Mat picture = cv::imread(out, cv::IMREAD_COLOR);
    ASSERT_FALSE(picture.empty());

    // The cells' geometry from the SVG: the first pair's rectangle and the cell size.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(
        svg, m, std::regex(R"re(<rect x="([0-9.]+)" y="([0-9.]+)" width="([0-9.]+)")re")));
    const double x0 = std::stod(m[1]);
    const double y0 = std::stod(m[2]);
    const double cell = std::stod(m[3]) + (std::stod(m[3]) >= 7 ? 1.0 : 0.0);
    const auto centre = [&](int row, int column) {
        // Left of the centre, clear of the warning mark in the top right corner.
        return picture.at<cv::Vec3b>(static_cast<int>(y0 + (row + 0.7) * cell),
                                     static_cast<int>(x0 + (column - 1 + 0.3) * cell));
    };
    // A pair not stored: the light empty colour; below the diagonal: white.
    const int n = GetParam().photographs;
    EXPECT_LE(cv::norm(centre(0, n - 1), cv::Vec3b(0xf2, 0xf2, 0xf2), cv::NORM_INF), 4);
    EXPECT_EQ(centre(n / 2, 1), cv::Vec3b(255, 255, 255));
    for (const char* entry : {"oriented (", "ambiguous (", "no_model (", "too_few_matches (",
                              "too_few_inliers (", "no pair stored", "warnings ("}) {
        EXPECT_NE(svg.find(entry), std::string::npos) << entry;
    }
    EXPECT_EQ(svg.find("names: 1 photograph in") != std::string::npos, n == 300);
    if (cell < 8) return;  // anti-aliasing and the marks fill cells of a few pixels
    std::size_t faintest = 0;
    std::size_t darkest = 0;
    for (std::size_t k = 0; k < b.pairs.size(); ++k) {
        const block::StoredPair& p = b.pairs[k];
        const cv::Vec3b drawn = centre(p.photo1 - 1, p.photo2 - 1);
        const cv::Vec3b fill = Bgr(FillOf(svg, p.name1 == b.photographs[0].name
                                                   ? "a&lt;b&gt;&amp;&quot;q&apos; " + p.name2
                                                   : p.name1 + " " + p.name2));
        EXPECT_LE(cv::norm(drawn, fill, cv::NORM_INF), 12) << p.name1 << " " << p.name2;
        if (p.outcome == "oriented") {
            if (p.inliers < b.pairs[faintest].inliers) faintest = k;
            if (p.inliers > b.pairs[darkest].inliers) darkest = k;
        }
    }
    const auto brightness = [&](std::size_t k) {
        const cv::Vec3b c = centre(b.pairs[k].photo1 - 1, b.pairs[k].photo2 - 1);
        return c[0] + c[1] + c[2];
    };
    EXPECT_LT(brightness(darkest) + 60, brightness(faintest)) << "more inliers not darker";
}

INSTANTIATE_TEST_SUITE_P(Block, PairMatrixTest,
                         testing::Values(MatrixCase{"Six", 6}, MatrixCase{"Sixty", 60},
                                         MatrixCase{"ThreeHundred", 300}),
                         CaseName());

}  // namespace
