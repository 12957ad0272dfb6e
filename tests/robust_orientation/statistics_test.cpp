// The statistics behind the report: chi-square quantiles, the stopping rule, the samples,
// and the adjustment's redundancy numbers and data snooping.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
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

// The CDF against its closed forms: erf(sqrt(x / 2)) for one degree of freedom, and for
// 2m degrees 1 - exp(-x / 2) * sum over i < m of (x / 2)^i / i!.
double ClosedFormCdf(double x, int dof) {
    if (dof == 1) return std::erf(std::sqrt(x / 2.0));
    double term = 1.0;
    double sum = 0.0;
    for (int i = 0; i < dof / 2; ++i) {
        sum += term;
        term *= x / 2.0 / (i + 1);
    }
    return 1.0 - std::exp(-x / 2.0) * sum;
}

TEST(ChiSquareTest, CdfMatchesTheClosedForms) {
    for (const int dof : {1, 2, 4, 10, 40}) {
        for (const double x : {1e-6, 0.01, 0.5, 1.0, 3.841459, 10.0, 18.307038, 60.0, 200.0}) {
            EXPECT_NEAR(ro::ChiSquareCdf(x, dof), ClosedFormCdf(x, dof), 1e-12)
                << "x " << x << " dof " << dof;
        }
    }
}

TEST(ChiSquareTest, QuantileInvertsTheCdf) {
    for (const double dof : {0.5, 1.0, 2.5, 5.0, 37.0, 1e5}) {
        for (const double p : {1e-10, 0.025, 0.5, 0.975, 1.0 - 1e-10}) {
            const double x = ro::ChiSquareQuantile(p, dof);
            ASSERT_TRUE(std::isfinite(x) && x > 0.0) << "p " << p << " dof " << dof;
            EXPECT_NEAR(ro::ChiSquareCdf(x, dof), p, 1e-12 + 1e-9 * p)
                << "p " << p << " dof " << dof;
        }
    }
}

struct CdfEdgeCase {
    const char* name;
    double x;
    double dof;
    double expected;  // NaN: NaN expected
};

// Outside the domain both functions answer without throwing: the CDF with 0, 1 or NaN, the
// quantile with NaN.
TEST(ChiSquareTest, CdfAtTheEdgesAndOnBadArguments) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    for (const CdfEdgeCase& c :
         {CdfEdgeCase{"zero", 0.0, 5, 0.0}, CdfEdgeCase{"zero_below_two_dof", 0.0, 1, 0.0},
          CdfEdgeCase{"negative", -1.0, 5, 0.0}, CdfEdgeCase{"minus_infinity", -kInf, 5, 0.0},
          CdfEdgeCase{"infinity", kInf, 5, 1.0}, CdfEdgeCase{"far_tail", 1e6, 5, 1.0},
          CdfEdgeCase{"nan_x", kNaN, 5, kNaN}, CdfEdgeCase{"zero_dof", 1.0, 0, kNaN},
          CdfEdgeCase{"negative_dof", 1.0, -2, kNaN}, CdfEdgeCase{"infinite_dof", 1.0, kInf, kNaN},
          CdfEdgeCase{"nan_dof", 1.0, kNaN, kNaN}}) {
        const double cdf = ro::ChiSquareCdf(c.x, c.dof);
        if (std::isnan(c.expected)) {
            EXPECT_TRUE(std::isnan(cdf)) << c.name << ": " << cdf;
        } else {
            EXPECT_EQ(cdf, c.expected) << c.name;
        }
    }
}

TEST(ChiSquareTest, QuantileOfBadArgumentsIsNaN) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    for (const auto& [p, dof] :
         {std::pair{0.0, 5.0}, std::pair{1.0, 5.0}, std::pair{-0.1, 5.0}, std::pair{1.1, 5.0},
          std::pair{kNaN, 5.0}, std::pair{0.5, 0.0}, std::pair{0.5, -2.0}, std::pair{0.5, kInf},
          std::pair{0.5, kNaN}}) {
        EXPECT_TRUE(std::isnan(ro::ChiSquareQuantile(p, dof))) << "p " << p << " dof " << dof;
    }
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

}  // namespace
