// The statistics behind the report: chi-square quantiles, the stopping rule, the samples,
// and the adjustment's redundancy numbers and data snooping.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <tuple>
#include <utility>

#include "common/random.h"
#include "robust_orientation/adjustment.h"
#include "robust_orientation/chi_square.h"
#include "robust_orientation/lo_ransac.h"
#include "testing/orient_scene.h"

namespace {

struct QuantileCase {
    double p;
    double dof;
    double expected;  // from published tables
};

TEST(ChiSquareTest, QuantilesMatchTheTables) {
    for (const QuantileCase& c :
         {QuantileCase{0.975, 1, 5.023886}, QuantileCase{0.025, 1, 0.000982069},
          QuantileCase{0.5, 2, 1.386294}, QuantileCase{0.025, 10, 3.246973},
          QuantileCase{0.975, 10, 20.483177}, QuantileCase{0.975, 100, 129.561197},
          QuantileCase{0.025, 1000, 914.2572}, QuantileCase{0.999, 5, 20.515006}}) {
        EXPECT_NEAR(ro::ChiSquareQuantile(c.p, c.dof), c.expected, 1e-5 * c.expected)
            << "p " << c.p << " dof " << c.dof;
    }
}

// Arguments outside the domain are answered without throwing: the CDF with 0, 1 or NaN,
// the quantile with NaN; inside it the CDF agrees with the closed form for two degrees of
// freedom, 1 - exp(-x / 2), and inverts the quantile.
TEST(ChiSquareTest, EdgesAndBadArguments) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    using CdfCase = std::tuple<double, double, double>;  // x, dof, the CDF
    for (const auto& [x, dof, expected] :
         std::initializer_list<CdfCase>{{0.0, 5.0, 0.0},
                                        {-kInf, 5.0, 0.0},
                                        {kInf, 5.0, 1.0},
                                        {1e6, 5.0, 1.0},
                                        {kNaN, 5.0, kNaN},
                                        {1.0, 0.0, kNaN},
                                        {1.0, kInf, kNaN},
                                        {1.0, kNaN, kNaN},
                                        {3.0, 2.0, 1.0 - std::exp(-1.5)}}) {
        const double cdf = ro::ChiSquareCdf(x, dof);
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(cdf)) << "x " << x << " dof " << dof;
        } else {
            EXPECT_NEAR(cdf, expected, 1e-15) << "x " << x << " dof " << dof;
        }
    }
    for (const auto& [p, dof] : std::initializer_list<std::pair<double, double>>{
             {0.0, 5.0}, {1.0, 5.0}, {kNaN, 5.0}, {0.5, -2.0}}) {
        EXPECT_TRUE(std::isnan(ro::ChiSquareQuantile(p, dof))) << "p " << p << " dof " << dof;
    }
    EXPECT_NEAR(ro::ChiSquareCdf(ro::ChiSquareQuantile(1e-10, 0.5), 0.5), 1e-10, 1e-18);
}

TEST(RansacStopTest, IterationsFollowTheExactAllInlierProbability) {
    // 70 % inliers of 1000, five draws: P = 0.7^5 to within the without-replacement factors.
    const double p = 700.0 * 699 * 698 * 697 * 696 / (1000.0 * 999 * 998 * 997 * 996);
    EXPECT_NEAR(ro::IterationsNeeded(700, 1000, 5, 0.9999), std::log(1e-4) / std::log(1 - p), 1e-9);
    EXPECT_EQ(ro::IterationsNeeded(10, 10, 5, 0.9999), 0.0);
    EXPECT_TRUE(std::isinf(ro::IterationsNeeded(4, 100, 5, 0.9999)));
}

TEST(RandomTest, SeededSequenceAndDistinctSamples) {
    common::SplitMix64 random(0);
    EXPECT_EQ(random.Next(), 0xe220a8397b1dcdafULL);  // the published first output for seed 0
    std::array<int, 7> seen{};
    for (int i = 0; i < 7000; ++i) {
        const auto sample = common::DrawDistinct<5>(random, 7);
        EXPECT_EQ(std::set<std::uint32_t>(sample.begin(), sample.end()).size(), 5u);
        for (const auto v : sample) ++seen[v];
    }
    for (const int count : seen) EXPECT_NEAR(count, 5000, 250);  // each value in 5/7 of samples
    EXPECT_EQ(common::DrawDistinct<5>(random, 5).size(), 5u);
}

class AdjustmentTest : public testing::Test {
  protected:
    void SetUp() override {
        scene_ = scene::MakeOrientScene(truth_, scene::OrientSceneOptions(60, 4));
        observations_ = ro::ToObservations(scene_.tie_points, scene_.camera1, scene_.camera2);
        for (int k = 0; k < static_cast<int>(observations_.size()); ++k) all_.push_back(k);
    }
    const ro::Elements truth_{0.02, 0.01, 0.01, -0.02, 0.3};
    scene::OrientScene scene_;
    std::vector<ro::Observation> observations_;
    std::vector<int> all_;
};

TEST_F(AdjustmentTest, RedundancyNumbersSumToTheRedundancy) {
    const ro::CoplanarityModel model(scene_.camera1, scene_.camera2);
    ro::Elements start = truth_;
    start.kappa_rad += 0.01;
    start.by -= 0.01;
    const ro::Adjustment a = ro::AdjustWithSnooping(model, observations_, all_,
                                                    ro::OrientationFromElements(start), 0.5, {});
    ASSERT_TRUE(a.Adjusted());
    EXPECT_TRUE(a.converged);
    double sum = 0.0;
    for (const double r : a.redundancy) {
        EXPECT_GT(r, 0.0);
        EXPECT_LE(r, 1.0);
        sum += r;
    }
    EXPECT_NEAR(sum, static_cast<double>(a.used.size()) - 5.0, 1e-6);
    EXPECT_NEAR(a.sigma0_px, 0.5, 0.15);
}

TEST_F(AdjustmentTest, SnoopingRemovesTheBlundersOneByOne) {
    const ro::CoplanarityModel model(scene_.camera1, scene_.camera2);
    // Two blunders of 5 px y-parallax (w near 7) in photograph 2, along the row.
    for (const int k : {3, 40}) {
        ro::ImagePoint p = scene_.camera2.ToImagePlane(scene_.tie_points[k].col2_px,
                                                       scene_.tie_points[k].row2_px + 5.0);
        observations_[static_cast<std::size_t>(k)].x2_m = p.x_m;
        observations_[static_cast<std::size_t>(k)].y2_m = p.y_m;
    }
    const ro::Adjustment a = ro::AdjustWithSnooping(model, observations_, all_,
                                                    ro::OrientationFromElements(truth_), 0.5, {});
    ASSERT_TRUE(a.Adjusted());
    EXPECT_EQ(std::set<int>(a.snooped.begin(), a.snooped.end()), (std::set<int>{3, 40}));
    EXPECT_EQ(a.used.size(), all_.size() - 2);
    for (const double w : a.w) EXPECT_LE(std::fabs(w), 3.29);
}

TEST_F(AdjustmentTest, TooFewPointsOrANonFiniteStartGiveNoAdjustment) {
    const ro::CoplanarityModel model(scene_.camera1, scene_.camera2);
    const ro::Orientation truth = ro::OrientationFromElements(truth_);
    EXPECT_EQ(
        ro::AdjustWithSnooping(model, observations_, {0, 1, 2, 3, 4, 5, 6, 7, 8}, truth, 0.5, {})
            .status,
        ro::AdjustmentStatus::too_few_points);
    ro::Elements bad = truth_;
    bad.phi_rad = std::nan("");
    EXPECT_EQ(ro::AdjustWithSnooping(model, observations_, all_, ro::OrientationFromElements(bad),
                                     0.5, {})
                  .status,
              ro::AdjustmentStatus::failed);
}

// A round after a reselection that fails makes the whole adjustment fail, naming the round,
// rather than returning the first round's points untested.
TEST_F(AdjustmentTest, AFailedRoundAfterAReselectionFailsTheAdjustment) {
    const ro::CoplanarityModel model(scene_.camera1, scene_.camera2);
    std::vector<int> broken;
    for (int k = 0; k < ro::kMinAdjustmentPoints; ++k) {
        broken.push_back(static_cast<int>(observations_.size()));
        observations_.push_back(observations_.front());
        observations_.back().x2_m = std::numeric_limits<double>::quiet_NaN();
    }
    const ro::Adjustment a =
        ro::AdjustWithSnooping(model, observations_, all_, ro::OrientationFromElements(truth_), 0.5,
                               {}, 1, [&](const ro::Orientation&) { return broken; });
    EXPECT_EQ(a.status, ro::AdjustmentStatus::failed);
    EXPECT_NE(a.failure.find("reselecting"), std::string::npos) << a.failure;
    EXPECT_TRUE(a.w.empty() && a.used.empty());
}

}  // namespace
