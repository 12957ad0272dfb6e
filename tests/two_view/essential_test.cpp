// Essential matrix and pose: decomposition round trips, the cheirality test, the
// triangulation angle and the Sampson error against geometric checks.
#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "testing/case_name.h"
#include "testing/two_view_problems.h"

namespace two_view {
namespace {

using test_support::CaseName;

using testing::Motion;

// Four proper factorisations of any scaling of E, one of them the truth; an E spoilt by
// noise of 1e-4 goes through the nearest essential matrix and stays near the truth.
TEST(DecomposeEssential, FourFactorisationsOneOfThemTheTruth) {
    testing::Random random(21);
    for (int i = 0; i < 600; ++i) {
        RelativePose truth =
            testing::RandomMotion(i % 2 ? Motion::kAerial : Motion::kGeneral, &random);
        truth.t.normalize();
        const double noise = i < 400 ? 0.0 : 1e-4;
        const double scale = (i % 3 == 0 ? -1.0 : 1.0) * random.Uniform(0.5, 5.0);
        Eigen::Matrix3d e = EssentialFromPose(truth) * scale;
        for (int k = 0; k < 9; ++k) e(k / 3, k % 3) += random.Uniform(-noise, noise);
        const auto poses = DecomposeEssential(e);
        ASSERT_TRUE(poses.has_value());
        int near_truth = 0;
        for (const RelativePose& p : *poses) {
            EXPECT_NEAR((p.R.transpose() * p.R - Eigen::Matrix3d::Identity()).norm(), 0.0, 1e-12);
            EXPECT_NEAR(p.R.determinant(), 1.0, 1e-12);
            EXPECT_NEAR(p.t.norm(), 1.0, 1e-12);
            if (noise == 0.0) {
                EXPECT_LT(testing::EssentialDistance(EssentialFromPose(p), e), 1e-12);
            }
            const double tolerance = noise == 0.0 ? 1e-9 : 1e-2;
            if (testing::FindsPose({p}, truth, tolerance)) ++near_truth;
        }
        EXPECT_EQ(near_truth, 1) << "pose " << i;
    }
}

// With the points of an exact scene, cheirality leaves exactly the true pose.
TEST(PosesFromEssential, CheiralityPicksTheTruePose) {
    testing::Random random(22);
    std::vector<RelativePose> poses;
    for (int i = 0; i < 400; ++i) {
        const testing::Problem p =
            testing::MakeProblem(i % 2 ? Motion::kAerial : Motion::kGeneral, 12, &random);
        ASSERT_EQ(PosesFromEssential(-3.0 * EssentialFromPose(p.truth), p.x1, p.x2, &poses), 1);
        EXPECT_TRUE(testing::FindsPose(poses, p.truth, 1e-9));
    }
}

// Unless a case says otherwise, camera 2 stands one baseline to the right of camera 1
// (t = (-1, 0, 0)), not rotated.
struct FrontCase {
    std::string name;
    Eigen::Vector3d x1, x2;  // rays
    bool in_front;
    Eigen::Vector3d t = Eigen::Vector3d(-1, 0, 0);
};

class CheiralityCases : public ::testing::TestWithParam<FrontCase> {};

TEST_P(CheiralityCases, DecidesAsGeometryDoes) {
    const RelativePose pose{Eigen::Matrix3d::Identity(), GetParam().t};
    EXPECT_EQ(InFrontOfBothCameras(pose, GetParam().x1, GetParam().x2), GetParam().in_front);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Points, CheiralityCases,
    ::testing::Values(
        FrontCase{"ahead_of_both", {0.1, 0, 1}, {-0.1, 0, 1}, true},  // (0.5, 0, 5)
        FrontCase{"scaled_rays", {0.3, 0, 3}, {-2, 0, 20}, true},
        FrontCase{"behind_both", {-0.1, 0, 1}, {0.1, 0, 1}, false},  // (0.5, 0, -5)
        // Camera 2 one baseline ahead: (0.2, 0, 0.5) lies between the two cameras.
        FrontCase{"behind_camera_2_only", {0.4, 0, 1}, {-0.4, 0, 1}, false, {0, 0, -1}},
        FrontCase{"at_infinity_ahead", {0.2, 0.1, 1}, {0.2, 0.1, 1}, true},
        FrontCase{"at_infinity_opposite", {0.2, 0.1, 1}, {-0.2, -0.1, -1}, false},
        FrontCase{"near_camera_1_beyond_threshold", {1, 0, 1}, {-0.99, 0, 0.01}, true},
        FrontCase{"near_camera_1_within_threshold", {1, 0, 1}, {-0.9999, 0, 1e-4}, false},
        FrontCase{"not_finite", {kNaN, 0, 1}, {0, 0, 1}, false}),
    CaseName());

TEST(TriangulationAngle, IsTheParallaxAtThePoint) {
    const RelativePose pose{Eigen::Matrix3d::Identity(), Eigen::Vector3d(-1, 0, 0)};
    for (double h : {0.5, 2.0, 10.0, 1e4}) {  // point (0.5, 0, h): half-base 0.5
        EXPECT_NEAR(TriangulationAngle(pose, {0.5, 0, h}, {-0.5, 0, h}), 2.0 * std::atan(0.5 / h),
                    1e-14);
    }
    EXPECT_EQ(TriangulationAngle(pose, {0, 0, 0}, {0, 0, 1}), 0.0);
}

// Sampson error: exact for a constraint linear in the coordinates, first-order exact
// otherwise (a step of length eps along the constraint's gradient gives eps^2, a step along
// the constraint nothing), scale-free, and in pixels^2 for a fundamental matrix.
TEST(SampsonError, MatchesGeometricDistance) {
    // Rectified pair: the constraint is v1 = v2; the closest pair moves each v half-way.
    EXPECT_NEAR(SampsonErrorSquared(Skew({1, 0, 0}), {0.2, 0.1, 1}, {-0.3, 0.13, 1}),
                0.03 * 0.03 / 2, 1e-17);
    testing::Random random(23);
    for (int i = 0; i < 200; ++i) {
        const testing::Problem p = testing::MakeProblem(Motion::kGeneral, 1, &random);
        const Eigen::Matrix3d e = EssentialFromPose(p.truth) * random.Uniform(0.1, 10.0);
        // The error after moving (u1, v1, u2, v2) by d.
        const auto moved = [&](const Eigen::Vector4d& d) {
            return SampsonErrorSquared(e, p.x1[0] + Eigen::Vector3d(d(0), d(1), 0),
                                       p.x2[0] + Eigen::Vector3d(d(2), d(3), 0));
        };
        EXPECT_LT(moved(Eigen::Vector4d::Zero()), 1e-28);
        const Eigen::Vector3d g1 = e.transpose() * p.x2[0], g2 = e * p.x1[0];
        const Eigen::Vector4d along = Eigen::Vector4d(g1(0), g1(1), g2(0), g2(1)).normalized();
        const Eigen::Vector4d across(-along(1), along(0), -along(3), along(2));
        for (double eps : {1e-6, 1e-4}) {
            EXPECT_NEAR(moved(eps * along), eps * eps, 2e-2 * eps * eps);
            EXPECT_LT(moved(eps * across), 1e-2 * eps * eps);
        }
        // Pixels: F = K^-T E K^-1 with K = [f 0 c; 0 f c; 0 0 1] scales the error by f^2.
        Eigen::Matrix3d k{{testing::kFocal_px, 0, 500}, {0, testing::kFocal_px, 500}, {0, 0, 1}};
        const Eigen::Vector3d y1 = p.x1[0] + Eigen::Vector3d(1e-3, -2e-3, 0);
        const Eigen::Vector3d y2 = p.x2[0] + Eigen::Vector3d(0, 1e-3, 0);
        const Eigen::Matrix3d f = k.inverse().transpose() * e * k.inverse();
        const double in_pixels = SampsonErrorSquared(f, k * y1, k * y2);
        EXPECT_NEAR(in_pixels, 1e6 * SampsonErrorSquared(e, y1, y2), 1e-9 * in_pixels);
    }
    EXPECT_EQ(SampsonErrorSquared(Eigen::Matrix3d::Constant(kNaN), {0, 0, 1}, {0, 0, 1}),
              std::numeric_limits<double>::infinity());
}

// At the epipoles the gradient vanishes: a correspondence that satisfies the constraint has
// error 0, one that does not an infinite error, never the NaN of 0 / 0. The signed error
// carries the sign of x2^T M x1; the scales turn it into pixels of each image.
struct SampsonCase {
    const char* name;
    Eigen::Matrix3d M;
    Eigen::Vector3d x1;
    Eigen::Vector3d x2;
    double scale1;
    double scale2;
    double expected;  // the signed error
};

class SampsonGuardTest : public ::testing::TestWithParam<SampsonCase> {};

TEST_P(SampsonGuardTest, SignedAndSquared) {
    const SampsonCase& c = GetParam();
    const double d = SampsonError(c.M, c.x1, c.x2, c.scale1, c.scale2);
    const double d2 = SampsonErrorSquared(c.M, c.x1, c.x2, c.scale1, c.scale2);
    if (std::isinf(c.expected)) {
        EXPECT_EQ(d, c.expected);
        EXPECT_EQ(d2, kInf);
    } else {
        const double tolerance = 1e-14 * std::max(1.0, c.expected * c.expected);
        EXPECT_NEAR(d, c.expected, tolerance);
        EXPECT_NEAR(d2, c.expected * c.expected, tolerance);
    }
    SampsonGradient gradient;
    EXPECT_EQ(SampsonErrorWithGradient(c.M, c.x1, c.x2, c.scale1, c.scale2, &gradient), d);
    EXPECT_TRUE(gradient.Matrix(c.x1, c.x2).allFinite());
}

// E = [(1,0,0)]x: x2^T E x1 = v1 - v2 for points (u, v, 1), gradient (0, 1, 0, -1).
const Eigen::Matrix3d kRectified = Skew({1, 0, 0});
// A matrix whose lines through both epipoles degenerate at x = (0, 0, 1): M x1 = (0, 0, a).
const Eigen::Matrix3d kCorner{{1, 0, 0}, {0, 1, 0}, {0, 0, 2}};

INSTANTIATE_TEST_SUITE_P(
    Cases, SampsonGuardTest,
    ::testing::Values(
        SampsonCase{"rectified_positive",
                    kRectified,
                    {0.2, 0.13, 1},
                    {-0.3, 0.1, 1},
                    1,
                    1,
                    0.03 / std::sqrt(2.0)},
        SampsonCase{"pixels_of_two_scales",
                    kRectified,
                    {0.2, 0.13, 1},
                    {-0.3, 0.1, 1},
                    1000,
                    500,
                    0.03 / std::sqrt(1e-6 + 4e-6)},
        SampsonCase{"both_epipoles_on_the_line", Skew({0, 0, 1}), {0, 0, 1}, {0, 0, 1}, 1, 1, 0.0},
        SampsonCase{"both_epipoles_off_the_line", kCorner, {0, 0, 1}, {0, 0, 1}, 1, 1, kInf},
        SampsonCase{"both_epipoles_negative", -kCorner, {0, 0, 1}, {0, 0, 1}, 1, 1, -kInf}),
    CaseName());

// The derivative by the nine entries of M agrees with central differences, with scales and
// with per-point metrics (the metric I / s^2 being the scale s); a sheared metric weighs the
// two coordinates of an image unlike any scale.
class SampsonGradientTest : public ::testing::TestWithParam<bool> {};

TEST_P(SampsonGradientTest, MatchesDifferences) {
    const bool metrics = GetParam();
    ::two_view::testing::Random random(31);
    for (int i = 0; i < 50; ++i) {
        const Eigen::Matrix3d M =
            Eigen::Matrix3d::NullaryExpr([&] { return random.Uniform(-1, 1); });
        const Eigen::Vector3d x1(random.Uniform(-0.5, 0.5), random.Uniform(-0.5, 0.5), -1.3);
        const Eigen::Vector3d x2(random.Uniform(-0.5, 0.5), random.Uniform(-0.5, 0.5), 1.0);
        // J J^T of a random J of about 1 / 1000.
        const auto random_metric = [&] {
            const Eigen::Matrix2d j =
                Eigen::Matrix2d::NullaryExpr([&] { return random.Uniform(-1e-3, 1e-3); }) +
                Eigen::Matrix2d::Identity() * 1.5e-3;
            const Eigen::Matrix2d w = j * j.transpose();
            return SampsonMetric{w(0, 0), w(0, 1), w(1, 1)};
        };
        const SampsonMetric w1 = random_metric();
        const SampsonMetric w2 = random_metric();
        const auto error = [&](const Eigen::Matrix3d& m) {
            return metrics ? SampsonError(m, x1, x2, w1, w2)
                           : SampsonError(m, x1, x2, 800.0, 1200.0);
        };
        SampsonGradient factored;
        const double d = metrics ? SampsonErrorWithGradient(M, x1, x2, w1, w2, &factored)
                                 : SampsonErrorWithGradient(M, x1, x2, 800.0, 1200.0, &factored);
        const Eigen::Matrix3d gradient = factored.Matrix(x1, x2);
        EXPECT_DOUBLE_EQ(d, error(M));
        if (!metrics) {
            const SampsonMetric s1{1.0 / (800.0 * 800.0), 0.0, 1.0 / (800.0 * 800.0)};
            const SampsonMetric s2{1.0 / (1200.0 * 1200.0), 0.0, 1.0 / (1200.0 * 1200.0)};
            EXPECT_NEAR(SampsonError(M, x1, x2, s1, s2), d, 1e-12 * std::fabs(d));
        }
        for (int k = 0; k < 9; ++k) {
            constexpr double kStep = 1e-7;
            Eigen::Matrix3d plus = M;
            Eigen::Matrix3d minus = M;
            plus(k / 3, k % 3) += kStep;
            minus(k / 3, k % 3) -= kStep;
            const double numeric = (error(plus) - error(minus)) / (2 * kStep);
            EXPECT_NEAR(gradient(k / 3, k % 3), numeric, 1e-5 * std::max(1.0, std::fabs(numeric)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ScalesAndMetrics, SampsonGradientTest, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "metrics" : "scales"; });

}  // namespace
}  // namespace two_view
