// Real roots by Sturm sequences: polynomials with known roots, and agreement with the
// eigenvalues of the companion matrix on random polynomials.
#include "two_view/sturm.h"

#include <gtest/gtest.h>

#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "testing/case_name.h"
#include "testing/two_view_problems.h"

namespace two_view {
namespace {

using test_support::CaseName;

std::vector<double> FromRoots(const std::vector<double>& roots, double lead) {
    std::vector<double> c{lead};
    for (double r : roots) {  // c <- c * (z - r)
        c.push_back(0.0);
        for (std::size_t i = c.size() - 1; i > 0; --i) c[i] = c[i - 1] - r * c[i];
        c[0] *= -r;
    }
    return c;
}

struct RootCase {
    std::string name;
    std::vector<double> coefficients;
    std::vector<double> roots;  // distinct real roots, ascending
    double tolerance = 1e-9;    // relative
};

class SturmKnownRoots : public ::testing::TestWithParam<RootCase> {};

TEST_P(SturmKnownRoots, FindsEachDistinctRealRootOnce) {
    const RootCase& c = GetParam();
    std::array<double, kMaxSturmDegree> roots;
    const int n = SturmRealRoots(c.coefficients, roots);
    ASSERT_EQ(n, static_cast<int>(c.roots.size()));
    for (int i = 0; i < n; ++i) {
        EXPECT_NEAR(roots[i], c.roots[i], c.tolerance * (1 + std::abs(c.roots[i])));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Polynomials, SturmKnownRoots,
    ::testing::Values(
        RootCase{"cubic", FromRoots({1, 2, 3}, 1), {1, 2, 3}},
        RootCase{"roots_on_the_half_line_seams", FromRoots({-1, 0, 1}, -3), {-1, 0, 1}},
        RootCase{"ten_real_roots",
                 FromRoots({-4.5, -3.5, -2.5, -1.5, -0.5, 0.5, 1.5, 2.5, 3.5, 4.5}, 2),
                 {-4.5, -3.5, -2.5, -1.5, -0.5, 0.5, 1.5, 2.5, 3.5, 4.5}},
        RootCase{"one_huge_root_beside_moderate_ones",
                 FromRoots({-158687.7, 0.61, 0.94, 2.1}, 1e-5),
                 {-158687.7, 0.61, 0.94, 2.1}},
        RootCase{
            "magnitudes_from_1e_minus3_to_1e3", FromRoots({1e-3, 0.5, 1e3}, 1), {1e-3, 0.5, 1e3}},
        RootCase{"close_pair", FromRoots({1.0, 1.0 + 1e-6, 3.0}, 1), {1.0, 1.0 + 1e-6, 3.0}},
        // A double root is only determined to about the square root of the precision.
        RootCase{"double_root_counted_once", FromRoots({2, 2, -1}, 1), {-1, 2}, 1e-7},
        RootCase{"no_real_root", {1, 0, 2, 0, 1}, {}},  // (z^2 + 1)^2
        RootCase{"zero_leading_coefficient", {1, 2, 0}, {}},
        RootCase{"not_finite", {1, std::numeric_limits<double>::quiet_NaN(), 1}, {}},
        RootCase{"degree_above_ten", std::vector<double>(12, 1.0), {}},
        RootCase{"constant", {3.0}, {}}),
    CaseName());

// Random degree-10 polynomials against the real eigenvalues of the companion matrix, on
// those whose roots are well apart and well off the real axis or on it (where the two
// methods cannot disagree for numerical reasons).
TEST(SturmRealRoots, AgreesWithCompanionEigenvalues) {
    testing::Random random(11);
    int compared = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        std::array<double, 11> c;
        for (double& v : c) v = random.Uniform(-1.0, 1.0);
        Eigen::Matrix<double, 10, 10> companion = Eigen::Matrix<double, 10, 10>::Zero();
        companion.diagonal(-1).setOnes();
        for (int i = 0; i < 10; ++i) companion(i, 9) = -c[i] / c[10];
        const Eigen::EigenSolver<Eigen::Matrix<double, 10, 10>> eigen(companion, false);
        if (eigen.info() != Eigen::Success) continue;
        std::vector<double> real;
        bool clear = true;
        for (const auto& e : eigen.eigenvalues()) {
            if (e.imag() == 0.0) real.push_back(e.real());
            if (e.imag() != 0.0 && std::abs(e.imag()) < 1e-6 * (1 + std::abs(e.real())))
                clear = false;
        }
        std::sort(real.begin(), real.end());
        for (std::size_t i = 1; i < real.size(); ++i) {
            if (real[i] - real[i - 1] < 1e-6 * (1 + std::abs(real[i]))) clear = false;
        }
        if (!clear) continue;
        ++compared;
        std::array<double, kMaxSturmDegree> roots;
        ASSERT_EQ(SturmRealRoots(c, roots), static_cast<int>(real.size())) << "trial " << trial;
        for (std::size_t i = 0; i < real.size(); ++i) {
            EXPECT_NEAR(roots[i], real[i], 1e-8 * (1 + std::abs(real[i]))) << "trial " << trial;
        }
    }
    EXPECT_GT(compared, 1900);
}

}  // namespace
}  // namespace two_view
