// Statistics, binning, fullest bin and averaging of the sampled solutions.
#include "relative/clustering.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace relative {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

SolutionTable TableOfY(const std::vector<double>& ys) {
    SolutionTable vals;
    for (const double y : ys) vals.push_back({y, 2 * y, 0.1, 0.2, 0.3});
    return vals;
}

TEST(DeltaYStatsTest, SampleVarianceAndRange) {
    const DeltaYStats s = ComputeDeltaYStats(TableOfY({1, 2, 3, 4}));
    EXPECT_EQ(s.count, 4);
    EXPECT_DOUBLE_EQ(s.mean_deltaY, 2.5);
    EXPECT_DOUBLE_EQ(s.var_deltaY, 5.0 / 3.0);  // divisor: count - 1
    EXPECT_DOUBLE_EQ(s.std_deltaY, std::sqrt(5.0 / 3.0));
    EXPECT_DOUBLE_EQ(s.min_Dist, 2.5 - 2 * s.std_deltaY);
    EXPECT_DOUBLE_EQ(s.max_Dist, 2.5 + 2 * s.std_deltaY);
    EXPECT_DOUBLE_EQ(s.binSpacing, (s.max_Dist - s.min_Dist) / 10);
}

TEST(DeltaYStatsTest, NonFiniteSolutionsAreLeftOut) {
    SolutionTable vals = TableOfY({1, 2, 3, 4});
    vals.push_back({kNaN, 0, 0, 0, 0});
    vals.push_back({5, kInf, 0, 0, 0});  // a finite Y does not save a non-finite row
    vals.push_back({5, 0, 0, 0, -kInf});
    const DeltaYStats s = ComputeDeltaYStats(vals);
    EXPECT_EQ(s.count, 4);
    EXPECT_DOUBLE_EQ(s.mean_deltaY, 2.5);
    EXPECT_DOUBLE_EQ(s.var_deltaY, 5.0 / 3.0);
}

TEST(DeltaYStatsTest, SingleSolutionHasZeroSpread) {
    const DeltaYStats s = ComputeDeltaYStats(TableOfY({0.25}));
    EXPECT_EQ(s.count, 1);
    EXPECT_EQ(s.var_deltaY, 0.0);
    EXPECT_EQ(s.binSpacing, 0.0);
}

// A table with mean 0 and a chosen spread: min_Dist = -1, binSpacing = 0.2, so the edges
// are exact binary fractions only where noted; the cases use values well clear of
// rounding or the edges computed by BinEdge itself.
DeltaYStats Range(double min, double spacing) {
    DeltaYStats s;
    s.count = 1;
    s.min_Dist = min;
    s.binSpacing = spacing;
    s.max_Dist = min + 10 * spacing;
    return s;
}

struct BinCase {
    const char* name;
    double y;
    int bin;  // -1: no bin
};

class BinningTest : public testing::TestWithParam<BinCase> {};

TEST_P(BinningTest, LandsInTheExpectedBin) {
    const BinCase c = GetParam();
    const DeltaYStats s = Range(-1.0, 0.25);  // edges -1, -0.75, ..., 1.25, top 1.5
    const Histogram h = BinSolutions(TableOfY({c.y}), s);
    for (int b = 0; b < kNumBins; ++b) {
        EXPECT_EQ(h[b].size(), b == c.bin ? 1u : 0u) << "bin " << b;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, BinningTest,
    testing::Values(BinCase{"FarBelowMin", -1e9, 0}, BinCase{"JustBelowMin", -1.0000001, 0},
                    BinCase{"OnMin", -1.0, 0}, BinCase{"InsideFirst", -0.9, 0},
                    BinCase{"OnFirstInnerEdge", -0.75, 1},
                    BinCase{"JustUnderInnerEdge", -0.7500001, 0}, BinCase{"OnMiddleEdge", 0.25, 5},
                    BinCase{"InsideLast", 1.4, 9}, BinCase{"JustUnderTop", 1.4999999, 9},
                    BinCase{"OnTopEdge", 1.5, -1}, BinCase{"AboveTop", 7.0, -1},
                    BinCase{"NaN", kNaN, -1}, BinCase{"PlusInfinity", kInf, -1},
                    BinCase{"MinusInfinity", -kInf, -1}),
    [](const testing::TestParamInfo<BinCase>& param_info) { return param_info.param.name; });

TEST(BinningTest, RowNumbersAscendAndSkipNonFiniteRows) {
    SolutionTable vals = TableOfY({0.1, -0.9, 0.2, 0.15, 2.0, 0.12});
    vals[3][4] = kNaN;  // row 3 is dropped although its Y is fine
    const Histogram h = BinSolutions(vals, Range(-1.0, 0.25));
    EXPECT_EQ(h[0], std::vector<int>({1}));
    EXPECT_EQ(h[4], std::vector<int>({0, 2, 5}));
    int total = 0;
    for (const auto& bin : h) total += static_cast<int>(bin.size());
    EXPECT_EQ(total, 4);  // row 4 is above the top edge
}

TEST(BinningTest, ZeroSpreadPutsEveryFiniteSolutionIntoBinZero) {
    SolutionTable vals = TableOfY({0.3, 0.3, 0.3});
    vals.push_back({kNaN, 0, 0, 0, 0});
    const DeltaYStats s = ComputeDeltaYStats(vals);
    EXPECT_EQ(s.binSpacing, 0.0);
    const Histogram h = BinSolutions(vals, s);
    EXPECT_EQ(h[0], std::vector<int>({0, 1, 2}));
    for (int b = 1; b < kNumBins; ++b) EXPECT_TRUE(h[b].empty());
}

TEST(BinningTest, OverflowingStatisticsStillBinEveryFiniteSolution) {
    const SolutionTable vals = TableOfY({8e307, 8.5e307, 7e307});
    const Histogram h = BinSolutions(vals, ComputeDeltaYStats(vals));
    EXPECT_EQ(h[0].size(), 3u);
}

TEST(BinningTest, EveryValueOfANormalTableFindsABinUnlessAboveTheTop) {
    std::vector<double> ys;
    for (int k = 0; k < 1000; ++k) ys.push_back(0.001 * ((k * 7919) % 1000) - 0.4);
    ys.push_back(50.0);  // one far outlier: above mean + 2 std
    const SolutionTable vals = TableOfY(ys);
    const DeltaYStats s = ComputeDeltaYStats(vals);
    const Histogram h = BinSolutions(vals, s);
    int total = 0;
    for (const auto& bin : h) total += static_cast<int>(bin.size());
    EXPECT_EQ(total, 1000);
}

struct FullestCase {
    const char* name;
    std::array<int, kNumBins> counts;
    int maxIndex;
    int maxVal;
};

class FullestBinTest : public testing::TestWithParam<FullestCase> {};

TEST_P(FullestBinTest, PicksTheFullestLowestBin) {
    const FullestCase& c = GetParam();
    Histogram h;
    for (int b = 0; b < kNumBins; ++b) h[b].assign(static_cast<std::size_t>(c.counts[b]), 0);
    const FullestBin f = FindFullestBin(h);
    EXPECT_EQ(f.maxIndex, c.maxIndex);
    EXPECT_EQ(f.maxVal, c.maxVal);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, FullestBinTest,
    testing::Values(FullestCase{"Single", {0, 0, 0, 5, 0, 0, 0, 0, 0, 0}, 3, 5},
                    FullestCase{"TieLowestWins", {1, 7, 2, 7, 0, 0, 7, 0, 0, 0}, 1, 7},
                    FullestCase{"AllEqual", {4, 4, 4, 4, 4, 4, 4, 4, 4, 4}, 0, 4},
                    FullestCase{"LastBin", {1, 1, 1, 1, 1, 1, 1, 1, 1, 9}, 9, 9},
                    FullestCase{"AllEmpty", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0}),
    [](const testing::TestParamInfo<FullestCase>& param_info) { return param_info.param.name; });

TEST(AverageTest, MeanOfTheMembersOnly) {
    const SolutionTable vals = {{1, 10, 100, 1000, 0.5}, {9, 9, 9, 9, 9}, {3, 30, 300, 3000, 1.5}};
    const Solution mean = AverageSolutions(vals, {0, 2});
    const Solution expected = {2, 20, 200, 2000, 1.0};
    EXPECT_EQ(mean, expected);
}

TEST(ClusterSolutionsTest, AveragesTheFullestBinAndReportsIt) {
    // Six solutions near 0.1, three near -0.2; the fullest bin holds those near 0.1.
    SolutionTable vals;
    for (const double y : {0.1, 0.1001, 0.0999, 0.1002, 0.0998, 0.1})
        vals.push_back({y, 1, 2, 3, 4});
    for (const double y : {-0.2, -0.21, -0.19}) vals.push_back({y, -1, -2, -3, -4});
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    const Solution mean = ClusterSolutions(vals, log);
    std::fclose(log);
    EXPECT_NEAR(mean[0], 0.1, 1e-4);
    EXPECT_EQ(mean[1], 1.0);
    EXPECT_EQ(mean[4], 4.0);
}

TEST(ClusterSolutionsDeathTest, NoFiniteSolutionStops) {
    const SolutionTable vals(1000, Solution{kNaN, 0, 0, 0, 0});
    EXPECT_EXIT(ClusterSolutions(vals, stderr), testing::ExitedWithCode(1),
                "^Error: No finite solution in 1000 samples.\n$");
}

}  // namespace
}  // namespace relative
