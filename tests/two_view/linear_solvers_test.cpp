// The linear eight-point solver and the homographies on exact data, their refusals of
// degenerate configurations, and the pure-rotation test.
#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <Eigen/SVD>
#include <string>

#include "testing/case_name.h"
#include "testing/two_view_problems.h"

namespace two_view {
namespace {

using testing::Motion;

TEST(SolveEssentialLinear, ExactOnExactData) {
    testing::Random random(31);
    for (int n : {8, 9, 20, 200}) {
        for (int i = 0; i < 50; ++i) {
            const testing::Problem p =
                testing::MakeProblem(i % 2 ? Motion::kAerial : Motion::kGeneral, n, &random);
            Eigen::Matrix3d e;
            ASSERT_TRUE(SolveEssentialLinear(p.x1, p.x2, &e)) << n << " points, problem " << i;
            EXPECT_LT(testing::EssentialDistance(e, EssentialFromPose(p.truth)), 1e-8);
            const Eigen::Vector3d s = Eigen::JacobiSVD<Eigen::Matrix3d>(e).singularValues();
            EXPECT_NEAR((s - Eigen::Vector3d(1, 1, 0)).norm(), 0.0, 1e-12);
        }
    }
}

TEST(SolveEssentialLinear, RefusesWhatDoesNotDetermineE) {
    testing::Random random(32);
    const testing::Problem p = testing::MakeProblem(Motion::kGeneral, 8, &random);
    const testing::Problem plane = testing::MakePlanarProblem(p.truth, {0, 0, 1}, 5.0, 30, &random);
    const std::vector<Eigen::Vector3d> seven(p.x1.begin(), p.x1.begin() + 7), repeated(8, p.x1[0]);
    std::vector<Eigen::Vector3d> at_infinity = p.x1;
    at_infinity[3].z() = 0.0;
    Eigen::Matrix3d e = Eigen::Matrix3d::Constant(7.0);
    EXPECT_FALSE(SolveEssentialLinear(seven, seven, &e));
    EXPECT_FALSE(SolveEssentialLinear(p.x1, seven, &e));
    EXPECT_FALSE(SolveEssentialLinear(repeated, p.x2, &e));
    EXPECT_FALSE(SolveEssentialLinear(at_infinity, p.x2, &e));
    EXPECT_FALSE(SolveEssentialLinear(plane.x1, plane.x2, &e))
        << "a plane leaves a 3-dimensional family";
    EXPECT_EQ(e, Eigen::Matrix3d::Constant(7.0)) << "untouched on failure";
}

// A weight of zero removes a correspondence exactly: a gross one among exact ones is
// then no longer felt; equal weights change nothing.
TEST(SolveEssentialLinear, WeightsActOnTheResiduals) {
    testing::Random random(34);
    testing::Problem p = testing::MakeProblem(Motion::kGeneral, 20, &random);
    p.x2[5] += Eigen::Vector3d(0.05, -0.03, 0.0);
    std::vector<double> weights(20, 2.5);
    Eigen::Matrix3d plain, equal, weighted;
    ASSERT_TRUE(SolveEssentialLinear(p.x1, p.x2, &plain));
    ASSERT_TRUE(SolveEssentialLinear(p.x1, p.x2, weights, &equal));
    EXPECT_LT(testing::EssentialDistance(plain, equal), 1e-12);
    EXPECT_GT(testing::EssentialDistance(plain, EssentialFromPose(p.truth)), 1e-4);
    weights[5] = 0.0;
    ASSERT_TRUE(SolveEssentialLinear(p.x1, p.x2, weights, &weighted));
    EXPECT_LT(testing::EssentialDistance(weighted, EssentialFromPose(p.truth)), 1e-8);
    weights.pop_back();
    EXPECT_FALSE(SolveEssentialLinear(p.x1, p.x2, weights, &weighted)) << "one weight per point";
}

// Plane n . X1 = d seen over the pose: H = R + t n^T / d maps x1 to x2 (up to scale).
TEST(Homography, ExactFromFourAndFromMany) {
    testing::Random random(33);
    for (int i = 0; i < 100; ++i) {
        const RelativePose truth =
            testing::RandomMotion(i % 2 ? Motion::kAerial : Motion::kGeneral, &random);
        const Eigen::Vector3d normal =
            Eigen::Vector3d(random.Uniform(-0.3, 0.3), random.Uniform(-0.3, 0.3), 1).normalized();
        const testing::Problem p = testing::MakePlanarProblem(truth, normal, 6.0, 30, &random);
        const Eigen::Matrix3d expected = truth.R + truth.t * normal.transpose() / 6.0;
        Eigen::Matrix3d h4, h;
        ASSERT_TRUE(SolveHomographyFourPoint({p.x1[0], p.x1[1], p.x1[2], p.x1[3]},
                                             {p.x2[0], p.x2[1], p.x2[2], p.x2[3]}, &h4));
        ASSERT_TRUE(SolveHomography(p.x1, p.x2, &h));
        for (const Eigen::Matrix3d& m : {h4, h}) {
            EXPECT_NEAR(m.norm(), 1.0, 1e-12);
            EXPECT_GT(m.determinant(), 0.0);
            EXPECT_LT(testing::EssentialDistance(m, expected), 1e-9);
            for (std::size_t k = 0; k < p.x1.size(); ++k) {
                EXPECT_LT(SymmetricTransferErrorSquared(m, m.inverse(), p.x1[k], p.x2[k]), 1e-20);
            }
        }
    }
    const Eigen::Matrix3d shift{{1, 0, 0.01}, {0, 1, -0.02}, {0, 0, 1}};
    EXPECT_NEAR(TransferErrorSquared(shift, {0.1, 0.2, 1}, {0.1, 0.2, 1}),
                0.01 * 0.01 + 0.02 * 0.02, 1e-18);
    EXPECT_EQ(TransferErrorSquared(Eigen::Matrix3d::Zero(), {0.1, 0.2, 1}, {0.1, 0.2, 1}),
              std::numeric_limits<double>::infinity());
}

TEST(Homography, RefusesCollinearAndRepeatedPoints) {
    const FourPoints square{{{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}};
    const FourPoints three_on_a_line{{{0, 0, 1}, {1, 1, 1}, {2, 2, 1}, {0, 1, 1}}};
    const FourPoints repeated{{{0, 0, 1}, {0, 0, 1}, {1, 1, 1}, {0, 1, 1}}};
    Eigen::Matrix3d h = Eigen::Matrix3d::Constant(7.0);
    EXPECT_TRUE(SolveHomographyFourPoint(square, square, &h));
    EXPECT_FALSE(SolveHomographyFourPoint(three_on_a_line, square, &h));
    EXPECT_FALSE(SolveHomographyFourPoint(square, repeated, &h));
    const std::vector<Eigen::Vector3d> line{{0, 0, 1}, {1, 1, 1}, {2, 2, 1}, {3, 3, 1}, {4, 4, 1}};
    const std::vector<Eigen::Vector3d> spread{
        {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}, {0.3, 0.7, 1}};
    h = Eigen::Matrix3d::Constant(7.0);
    EXPECT_FALSE(SolveHomography(line, spread, &h));
    EXPECT_FALSE(SolveHomography(spread, line, &h));
    EXPECT_FALSE(SolveHomography(std::span(spread).first(3), std::span(spread).first(3), &h));
    EXPECT_EQ(h, Eigen::Matrix3d::Constant(7.0));
}

// A camera that only turned gives H ~ R; a plane 6 baselines away gives a spread of about
// 1/6 in the singular values.
TEST(Homography, TellsPureRotationFromAPlane) {
    testing::Random random(34);
    for (int i = 0; i < 50; ++i) {
        RelativePose pose = testing::RandomMotion(Motion::kAerial, &random);
        const Eigen::Vector3d base = pose.t;
        pose.t.setZero();
        const testing::Problem turned =
            testing::MakePlanarProblem(pose, {0, 0, 1}, 6.0, 20, &random);
        Eigen::Matrix3d h;
        ASSERT_TRUE(SolveHomography(turned.x1, turned.x2, &h));
        double deviation = -1.0;
        EXPECT_TRUE(IsNearPureRotation(h, 1e-6, &deviation));
        EXPECT_LT(deviation, 1e-9);
        ASSERT_TRUE(NearestRotation(-h).has_value());
        EXPECT_LT(testing::RotationError_rad(*NearestRotation(-h), pose.R), 1e-9);

        pose.t = base;
        const testing::Problem plane =
            testing::MakePlanarProblem(pose, {0, 0, 1}, 6.0, 20, &random);
        ASSERT_TRUE(SolveHomography(plane.x1, plane.x2, &h));
        EXPECT_FALSE(IsNearPureRotation(h, 0.05, &deviation));
        EXPECT_GT(deviation, 0.1);
    }
    EXPECT_FALSE(NearestRotation(Eigen::Matrix3d::Zero()).has_value());
}

}  // namespace
}  // namespace two_view
