// The five-point solver on seeded random exact problems: the true solution is among those
// returned for at least 99.5 % of problems, and everything returned is a solution.
#include <gtest/gtest.h>

#include <Eigen/SVD>
#include <cmath>
#include <string>

#include "case_name.h"
#include "two_view_problems.h"

namespace two_view {
namespace {

using testing::Motion;

struct MotionCase {
    std::string name;
    Motion motion;
    std::uint64_t seed;
};

class FivePointRandomProblems : public ::testing::TestWithParam<MotionCase> {};

// A hit, counted two ways: an essential matrix within 1e-6 (Frobenius distance, both scaled
// to norm 1, either sign) of the true one; and, after the cheirality test on the five
// points, a pose whose rotation is within 1e-6 rad and translation direction within 1e-6
// rad of the truth.
TEST_P(FivePointRandomProblems, FindTheTrueSolutionIn995Permille) {
    constexpr int kProblems = 2000;
    constexpr int kAllowedMisses = kProblems * 5 / 1000;
    testing::Random random(GetParam().seed);
    int essential_misses = 0, pose_misses = 0;
    std::vector<Eigen::Matrix3d> essentials;
    std::vector<RelativePose> poses;
    for (int i = 0; i < kProblems; ++i) {
        const testing::Problem p = testing::MakeProblem(GetParam().motion, 5, &random);
        const FivePoints x1 = testing::FirstFive(p.x1), x2 = testing::FirstFive(p.x2);
        ASSERT_LE(SolveFivePoint(x1, x2, &essentials), kMaxFivePointSolutions);
        if (!(testing::BestEssentialError(essentials, p.truth) < 1e-6)) ++essential_misses;
        SolveRelativePoseFivePoint(x1, x2, &poses);
        bool hit = false;
        for (const RelativePose& pose : poses) {
            hit = hit || (testing::RotationError_rad(pose.R, p.truth.R) < 1e-6 &&
                          testing::TranslationError_rad(pose.t, p.truth.t) < 1e-6);
        }
        if (!hit) ++pose_misses;

        for (const Eigen::Matrix3d& e : essentials) {
            ASSERT_TRUE(e.allFinite());
            EXPECT_NEAR(e.norm(), std::sqrt(2.0), 1e-12);
            const Eigen::Vector3d s = Eigen::JacobiSVD<Eigen::Matrix3d>(e).singularValues();
            EXPECT_NEAR(s(0), s(1), 1e-6) << "problem " << i;
            EXPECT_NEAR(s(2), 0.0, 1e-6) << "problem " << i;
            for (int k = 0; k < 5; ++k) {
                EXPECT_NEAR(x2[k].normalized().dot(e * x1[k].normalized()), 0.0, 1e-9);
            }
        }
    }
    EXPECT_LE(essential_misses, kAllowedMisses);
    EXPECT_LE(pose_misses, kAllowedMisses);
}

INSTANTIATE_TEST_SUITE_P(Motions, FivePointRandomProblems,
                         ::testing::Values(MotionCase{"general", Motion::kGeneral, 101},
                                           MotionCase{"aerial_any_kappa", Motion::kAerial, 202}),
                         CaseName());

// Rays are accepted as any multiples (unit bearings, negated ones): the same solutions come
// out, and twice the same input gives bit-identical output.
TEST(FivePoint, RaysAreScaleFreeAndResultsRepeatable) {
    testing::Random random(7);
    const testing::Problem p = testing::MakeProblem(Motion::kGeneral, 5, &random);
    FivePoints x1 = testing::FirstFive(p.x1), x2 = testing::FirstFive(p.x2);
    std::vector<Eigen::Matrix3d> first, again, scaled;
    SolveFivePoint(x1, x2, &first);
    SolveFivePoint(x1, x2, &again);
    ASSERT_EQ(first.size(), again.size());
    for (std::size_t i = 0; i < first.size(); ++i) EXPECT_EQ(first[i], again[i]);
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
        if (!(testing::BestRotationError_rad(poses, truth) < 1e-6)) ++misses;
    }
    EXPECT_LE(misses, 1);
}

}  // namespace
}  // namespace two_view
