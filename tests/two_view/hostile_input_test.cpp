// Degenerate and hostile samples: no crash, no solution or a clean refusal, and never a
// non-finite result.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "testing/case_name.h"
#include "testing/two_view_problems.h"

namespace two_view {
namespace {

using test_support::CaseName;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct HostileCase {
    std::string name;
    FivePoints x1, x2;
    bool degenerate;  // must give no solution; otherwise only finite ones are required
};

// A valid sample to spoil.
FivePoints Valid(int image) {
    testing::Random random(41);
    const testing::Problem p = testing::MakeProblem(testing::Motion::kGeneral, 5, &random);
    return testing::FirstFive(image == 1 ? p.x1 : p.x2);
}

FivePoints With(FivePoints x, int k, const Eigen::Vector3d& v) {
    x[k] = v;
    return x;
}

FivePoints Scaled(FivePoints x, double s) {
    for (auto& v : x) v *= s;
    return x;
}

FivePoints Same(const Eigen::Vector3d& v) {
    FivePoints x;
    x.fill(v);
    return x;
}

FivePoints OnALine(double slope) {
    FivePoints x;
    for (int k = 0; k < 5; ++k) x[k] = {0.1 * k - 0.2, slope * (0.1 * k - 0.2) + 0.05, 1};
    return x;
}

class HostileFivePoint : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileFivePoint, NoSolutionOrOnlyFiniteOnes) {
    const HostileCase& c = GetParam();
    std::vector<Eigen::Matrix3d> essentials;
    std::vector<RelativePose> poses;
    const int n = SolveFivePoint(c.x1, c.x2, &essentials);
    const int np = SolveRelativePoseFivePoint(c.x1, c.x2, &poses);
    ASSERT_EQ(n, static_cast<int>(essentials.size()));
    ASSERT_EQ(np, static_cast<int>(poses.size()));
    if (c.degenerate) {
        EXPECT_EQ(n, 0);
        EXPECT_EQ(np, 0);
    }
    for (const auto& e : essentials) EXPECT_TRUE(e.allFinite());
    for (const auto& p : poses) EXPECT_TRUE(p.R.allFinite() && p.t.allFinite());
}

INSTANTIATE_TEST_SUITE_P(
    Samples, HostileFivePoint,
    ::testing::Values(
        HostileCase{"all_on_one_line", OnALine(0.5), OnALine(-0.3), true},
        HostileCase{"repeated_correspondence", With(Valid(1), 4, Valid(1)[0]),
                    With(Valid(2), 4, Valid(2)[0]), true},
        HostileCase{"all_points_equal", Same({0.1, 0.2, 1}), Same({0.3, 0.1, 1}), true},
        HostileCase{"zero_ray", With(Valid(1), 2, {0, 0, 0}), Valid(2), true},
        HostileCase{"nan", With(Valid(1), 1, {kNaN, 0, 1}), Valid(2), true},
        HostileCase{"infinity", Valid(1), With(Valid(2), 3, {0, kInf, 1}), true},
        HostileCase{"huge_values", Scaled(Valid(1), 1e300), Scaled(Valid(2), 1e200), false},
        HostileCase{"tiny_values", Scaled(Valid(1), 1e-300), Valid(2), false},
        HostileCase{"huge_coordinate", With(Valid(1), 0, {1e300, -1e300, 1}), Valid(2), false},
        HostileCase{"three_collinear", With(With(Valid(1), 0, {0, 0, 1}), 1, {0.1, 0.1, 1}),
                    Valid(2), false}),
    CaseName());

// Random garbage with extreme exponents and infinities and NaNs: still never a non-finite result.
TEST(HostileFivePoint, RandomGarbageNeverGivesNonFiniteResults) {
    testing::Random random(42);
    const double unusual[] = {0.0, -0.0, 1e-308, 1e308, kInf, -kInf, kNaN, 1.0, -1.0};
    std::vector<Eigen::Matrix3d> essentials;
    std::vector<RelativePose> poses;
    for (int trial = 0; trial < 2000; ++trial) {
        FivePoints x[2];
        for (auto& image : x) {
            for (auto& v : image) {
                for (int i = 0; i < 3; ++i) {
                    const std::uint64_t pick = random.Next() % 16;
                    v(i) = pick < 9
                               ? unusual[pick]
                               : random.Uniform(-1, 1) *
                                     std::ldexp(1.0, static_cast<int>(random.Next() % 200) - 100);
                }
            }
        }
        SolveFivePoint(x[0], x[1], &essentials);
        SolveRelativePoseFivePoint(x[0], x[1], &poses);
        for (const auto& e : essentials) ASSERT_TRUE(e.allFinite()) << "trial " << trial;
        for (const auto& p : poses)
            ASSERT_TRUE(p.R.allFinite() && p.t.allFinite()) << "trial " << trial;
        Eigen::Matrix3d m;
        const std::vector<Eigen::Vector3d> v1(x[0].begin(), x[0].end()),
            v2(x[1].begin(), x[1].end());
        if (SolveHomography(v1, v2, &m)) {
            ASSERT_TRUE(m.allFinite());
        }
        if (SolveHomographyFourPoint({x[0][0], x[0][1], x[0][2], x[0][3]},
                                     {x[1][0], x[1][1], x[1][2], x[1][3]}, &m)) {
            ASSERT_TRUE(m.allFinite());
        }
    }
}

TEST(HostileEssential, DecompositionRefusesWhatIsNotAnEssentialMatrix) {
    EXPECT_FALSE(DecomposeEssential(Eigen::Matrix3d::Zero()).has_value());
    EXPECT_FALSE(DecomposeEssential(Eigen::Matrix3d::Constant(kNaN)).has_value());
    EXPECT_FALSE(
        DecomposeEssential(Eigen::Vector3d(1, 2, 3) * Eigen::RowVector3d(1, 0, 1)).has_value())
        << "rank 1";
    std::vector<RelativePose> poses(3);
    const std::vector<Eigen::Vector3d> x1{{0, 0, 1}}, x2{{0.1, 0, 1}}, none;
    EXPECT_EQ(PosesFromEssential(Eigen::Matrix3d::Constant(kInf), x1, x2, &poses), 0);
    EXPECT_TRUE(poses.empty());
    EXPECT_EQ(PosesFromEssential(Skew({1, 0, 0}), x1, none, &poses), 0) << "sizes differ";
    EXPECT_EQ(PosesFromEssential(Skew({1, 0, 0}), none, none, &poses), 4) << "no point to decide";
}

}  // namespace
}  // namespace two_view
