// The five-point solver on seeded random exact problems: the true solution is among those
// returned for at least 99.5 % of them, and everything returned is an essential solution.
#include <gtest/gtest.h>

#include <Eigen/SVD>
#include <cmath>
#include <string>

#include "testing/two_view_problems.h"

namespace two_view {
namespace {

using testing::Motion;

class FivePointRandomProblems : public ::testing::TestWithParam<Motion> {};

// A hit counts both ways (see CountFivePointMisses): an essential matrix within 1e-6 of the
// truth, and a pose within 1e-6 rad after the cheirality test on the five points.
TEST_P(FivePointRandomProblems, FindTheTrueSolutionIn995Permille) {
    const testing::Misses m = testing::CountFivePointMisses(GetParam(), 2000, 101);
    EXPECT_LE(m.essential, 10);
    EXPECT_LE(m.pose, 10);
}

TEST_P(FivePointRandomProblems, ReturnOnlyEssentialMatricesThatFitTheSample) {
    testing::Random random(102);
    std::vector<Eigen::Matrix3d> essentials;
    for (int i = 0; i < 500; ++i) {
        const testing::Problem p = testing::MakeProblem(GetParam(), 5, &random);
        const FivePoints x1 = testing::FirstFive(p.x1), x2 = testing::FirstFive(p.x2);
        ASSERT_LE(SolveFivePoint(x1, x2, &essentials), kMaxFivePointSolutions);
        for (const Eigen::Matrix3d& e : essentials) {
            ASSERT_TRUE(e.allFinite());
            EXPECT_NEAR(e.norm(), std::sqrt(2.0), 1e-12);
            const Eigen::Vector3d s = Eigen::JacobiSVD<Eigen::Matrix3d>(e).singularValues();
            EXPECT_NEAR(s(0) - s(1), 0.0, 1e-6) << "problem " << i;
            EXPECT_NEAR(s(2), 0.0, 1e-6) << "problem " << i;
            for (int k = 0; k < 5; ++k) {
                EXPECT_NEAR(x2[k].normalized().dot(e * x1[k].normalized()), 0.0, 1e-9);
            }
        }
    }
}

std::string MotionName(const ::testing::TestParamInfo<Motion>& p) {
    return p.param == Motion::kGeneral ? "general" : "aerial_any_kappa";
}

INSTANTIATE_TEST_SUITE_P(Motions, FivePointRandomProblems,
                         ::testing::Values(Motion::kGeneral, Motion::kAerial), MotionName);

// Rays are accepted as any multiples (unit bearings, negated ones): the same solutions come
// out, and twice the same input gives bit-identical output.
TEST(FivePoint, RaysAreScaleFreeAndResultsRepeatable) {
    testing::Random random(7);
    const testing::Problem p = testing::MakeProblem(Motion::kGeneral, 5, &random);
    FivePoints x1 = testing::FirstFive(p.x1), x2 = testing::FirstFive(p.x2);
    std::vector<Eigen::Matrix3d> first, again, scaled;
    SolveFivePoint(x1, x2, &first);
    SolveFivePoint(x1, x2, &again);
    EXPECT_EQ(first, again);
    for (int k = 0; k < 5; ++k) {
        x1[k] *= random.Uniform(0.01, 100.0);
        x2[k] *= k % 2 == 0 ? -3.0 : 1e-3;
    }
    SolveFivePoint(x1, x2, &scaled);
    EXPECT_LT(testing::BestEssentialError(scaled, p.truth), 1e-9);
}

// Five points on one plane do not defeat the five-point solver (they do the linear ones).
TEST(FivePoint, SolvesPlanarScenes) {
    testing::Random random(8);
    int misses = 0;
    std::vector<RelativePose> poses;
    for (int i = 0; i < 200; ++i) {
        const RelativePose truth = testing::RandomMotion(Motion::kAerial, &random);
        const testing::Problem p = testing::MakePlanarProblem(
            truth, Eigen::Vector3d(0.1, -0.2, 1.0).normalized(), 6.0, 5, &random);
        SolveRelativePoseFivePoint(testing::FirstFive(p.x1), testing::FirstFive(p.x2), &poses);
        if (!testing::FindsPose(poses, truth, 1e-6)) ++misses;
    }
    EXPECT_LE(misses, 1);
}

}  // namespace
}  // namespace two_view
