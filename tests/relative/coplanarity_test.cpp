// The coplanarity residual handed to the solver.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "relative/utils.h"
#include "testing/scene.h"

namespace relative {
namespace {

using scene::MakeTiePoints;
using scene::SceneOptions;
using scene::TrueOrientation;

using Rows = std::vector<std::array<double, 4>>;
using Params = std::array<double, 5>;

double Residual(Params p, const std::array<double, 4>& row, int m = 5) {
    Rows rows = {row};
    InfoSt info;
    info.tiepoints = &rows;
    double x = 12345.0;
    fcoplanar(p.data(), &x, m, 1, &info);
    return x;
}

struct ResidualCase {
    const char* name;
    Params p;
    std::array<double, 4> row;
    double expected;
    double tol;
};

class ResidualValueTest : public testing::TestWithParam<ResidualCase> {};

TEST_P(ResidualValueTest, MatchesTheWorkedValue) {
    const ResidualCase& c = GetParam();
    EXPECT_NEAR(Residual(c.p, c.row), c.expected, c.tol);
}

constexpr double S = 135135.1351;

INSTANTIATE_TEST_SUITE_P(
    Examples, ResidualValueTest,
    testing::Values(
        // Both cameras unrotated at p = 0: f * (y2 - y1).
        ResidualCase{"ZeroParameters", {0, 0, 0, 0, 0}, {1000, 500, 900, 510}, -0.132 / S, 1e-20},
        ResidualCase{"SameRowGivesZero", {0, 0, 0, 0, 0}, {10, 700, 1800, 700}, 0.0, 1e-22},
        ResidualCase{"General",
                     {0.1, 0.05, 0.02, -0.03, 0.04},
                     {1200.25, 300.5, 700.75, 320},
                     5.2256124e-6,
                     1e-13},
        ResidualCase{"StartingVector",
                     {-0.13, 0, -0.012217304763960306, 0.005585053606381855, 0},
                     {1000, 500, 900, 510},
                     -4.5009711e-6,
                     1e-13},
        // Unrotated cameras seeing a point at the same pixel: the rays coincide.
        ResidualCase{"IdenticalRays", {0.7, -0.4, 0, 0, 0}, {1500, 100, 1500, 100}, 0.0, 1e-22},
        ResidualCase{
            "PrincipalPoint", {0.3, 0.2, 0, 0, 0}, {959.5, 511.5, 959.5, 511.5}, 0.0, 0.0}),
    [](const testing::TestParamInfo<ResidualCase>& param_info) { return param_info.param.name; });

TEST(CoplanarityTest, ParameterCountIsNotRead) {
    const Params p = {0.1, 0.05, 0.02, -0.03, 0.04};
    const std::array<double, 4> row = {1200.25, 300.5, 700.75, 320};
    EXPECT_EQ(Residual(p, row, 5), Residual(p, row, 0));
    EXPECT_EQ(Residual(p, row, 5), Residual(p, row, -3));
}

TEST(CoplanarityTest, SwappingThePhotographsFlipsTheSignWithoutRotation) {
    const std::array<double, 4> row = {1200.25, 300.5, 700.75, 320};
    const std::array<double, 4> swapped = {700.75, 320, 1200.25, 300.5};
    for (const Params p : {Params{0, 0, 0, 0, 0}, Params{0.4, -0.2, 0, 0, 0}}) {
        const double r = Residual(p, row);
        EXPECT_NE(r, 0.0);
        EXPECT_NEAR(Residual(p, swapped), -r, 1e-18);
    }
}

TEST(CoplanarityTest, ExactTiePointsHaveZeroResidualAtTheTrueOrientation) {
    const TrueOrientation truth{-0.1, 0.05, -0.01, 0.006, 0.02};
    SceneOptions options;
    options.points = 20;
    Rows rows = MakeTiePoints(truth, options);
    InfoSt info;
    info.tiepoints = &rows;
    Params p = {truth.ey, truth.ez, truth.omega, truth.phi, truth.kappa};
    double at_truth[20];
    fcoplanar(p.data(), at_truth, 5, 20, &info);
    p[3] += 0.001;  // a slightly wrong phi
    double off_truth[20];
    fcoplanar(p.data(), off_truth, 5, 20, &info);
    double worst_off = 0.0;
    for (int k = 0; k < 20; ++k) {
        EXPECT_NEAR(at_truth[k], 0.0, 1e-17) << k;
        worst_off = std::max(worst_off, std::abs(off_truth[k]));
    }
    EXPECT_GT(worst_off, 1e-9);
}

TEST(CoplanarityTest, ComputesExactlyNResidualsFromTheFirstNRows) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Rows rows = {{1000, 500, 900, 510}, {1200.25, 300.5, 700.75, 320}, {nan, nan, nan, nan}};
    InfoSt info;
    info.tiepoints = &rows;
    Params p = {0.1, 0.05, 0.02, -0.03, 0.04};
    double x[3] = {7.0, 7.0, 7.0};
    fcoplanar(p.data(), x, 5, 2, &info);
    EXPECT_TRUE(std::isfinite(x[0]));
    EXPECT_NEAR(x[1], 5.2256124e-6, 1e-13);
    EXPECT_EQ(x[2], 7.0);  // the third row was never used

    double untouched[2] = {7.0, 7.0};
    fcoplanar(p.data(), untouched, 5, 0, &info);
    fcoplanar(p.data(), untouched, 5, -4, &info);
    EXPECT_EQ(untouched[0], 7.0);
    EXPECT_EQ(untouched[1], 7.0);
}

TEST(CoplanarityTest, NonFiniteInputGivesNonFiniteResidual) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(Residual({0, 0, 0, 0, 0}, {nan, 500, 900, 510})));
    EXPECT_TRUE(std::isnan(Residual({0, 0, nan, 0, 0}, {1000, 500, 900, 510})));
}

TEST(CoplanarityTest, TooFewRowsGiveNaNInsteadOfReadingBeyondThem) {
    Rows rows = {{1000, 500, 900, 510}};
    InfoSt info;
    info.tiepoints = &rows;
    Params p = {0, 0, 0, 0, 0};
    double x[3] = {0.0, 0.0, 0.0};
    fcoplanar(p.data(), x, 5, 3, &info);
    for (const double v : x) EXPECT_TRUE(std::isnan(v));
    InfoSt empty;
    fcoplanar(p.data(), x, 5, 1, &empty);
    EXPECT_TRUE(std::isnan(x[0]));
    fcoplanar(p.data(), x, 5, 1, nullptr);
    EXPECT_TRUE(std::isnan(x[0]));
}

}  // namespace
}  // namespace relative
