// The stops the reference vectors never reach, each on a small model built to reach it.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "levmar/levmar.h"
#include "testing/stream_capture.h"

namespace {

using test_support::StreamCapture;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// f_i = p0 - 1e5: the solution is far from a start at 0.
void FarTarget(double* p, double* hx, int, int n, void*) {
    for (int i = 0; i < n; ++i) hx[i] = p[0] - 1e5;
}

// 1 at p0 == 1, 2 anywhere else: every step increases the error.
void Spike(double* p, double* hx, int, int n, void*) {
    for (int i = 0; i < n; ++i) hx[i] = p[0] == 1.0 ? 1.0 : 2.0;
}

// f depends on p0 only: with tau = 0 the normal matrix has a zero row.
void IgnoresSecond(double* p, double* hx, int, int, void*) {
    hx[0] = p[0] - 1.0;
    hx[1] = p[0] + 2.0;
    hx[2] = 3.0 * p[0];
}

void AlwaysNaN(double*, double* hx, int, int n, void*) {
    for (int i = 0; i < n; ++i) hx[i] = kNaN;
}

// p0 - 1, but NaN beyond 0.5: the first step, towards 1, lands on a NaN.
void NaNBeyondHalf(double* p, double* hx, int, int n, void*) {
    for (int i = 0; i < n; ++i) hx[i] = p[0] > 0.5 ? kNaN : p[0] - 1.0;
}

// Rosenbrock as least squares: (10 (p1 - p0^2), 1 - p0).
void Rosenbrock(double* p, double* hx, int, int, void*) {
    hx[0] = 10.0 * (p[1] - p[0] * p[0]);
    hx[1] = 1.0 - p[0];
}

struct StopCase {
    std::string name;
    LevmarModelFunction func;
    int m;
    int n;
    std::vector<double> start;
    int itmax;
    std::vector<double> opts;  // empty: opts == NULL
    int reason;
    int expected_return;
    int iterations;   // -1: not checked
    int evaluations;  // -1: not checked
    bool p_unchanged;
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class LevmarStopReasons : public ::testing::TestWithParam<StopCase> {};

TEST_P(LevmarStopReasons, StopsAsDescribed) {
    const StopCase& c = GetParam();
    std::vector<double> p = c.start;
    std::vector<double> opts = c.opts;
    double info[LM_INFO_SZ];
    int ret = 0;
    std::string printed;
    {
        StreamCapture err(stderr);
        StreamCapture out(stdout);
        ret = dlevmar_dif(c.func, p.data(), nullptr, c.m, c.n, c.itmax,
                          opts.empty() ? nullptr : opts.data(), info, nullptr, nullptr, nullptr);
        printed = out.Text() + err.Text();
    }
    EXPECT_EQ(printed, "") << "the library prints nothing";
    EXPECT_EQ(ret, c.expected_return);
    EXPECT_EQ(info[6], c.reason);
    if (c.iterations >= 0) {
        EXPECT_EQ(info[5], c.iterations);
    }
    if (c.evaluations >= 0) {
        EXPECT_EQ(info[7], c.evaluations);
    }
    if (c.p_unchanged) {
        EXPECT_EQ(p, c.start);
    }
    for (int i = 0; i < LM_INFO_SZ; ++i) {
        if (i != 0 && i != 1) {
            EXPECT_FALSE(std::isnan(info[i])) << "info[" << i << "]";
        }
    }
}

// opts with the given tau and eps2, the other thresholds at their defaults.
std::vector<double> Opts(double tau, double eps2) { return {tau, 1e-17, eps2, 1e-17, 1e-6}; }

INSTANTIATE_TEST_SUITE_P(
    Cases, LevmarStopReasons,
    ::testing::Values(
        // Three passes are not enough for Rosenbrock from (-1.2, 1).
        StopCase{"IterationLimit", Rosenbrock, 2, 2, {-1.2, 1.0}, 3, {}, 3, 3, 3, -1, false},
        // No pass allowed: reason 3 before any Jacobian, one evaluation.
        StopCase{"NoIterations", Rosenbrock, 2, 2, {-1.2, 1.0}, 0, {}, 3, 0, 0, 1, true},
        StopCase{"NegativeItmax", Rosenbrock, 2, 2, {-1.2, 1.0}, -5, {}, 3, 0, 0, 1, true},
        // ||Dp||^2 ~ 1e10 >= (||p||^2 + eps2) / 1e-24 with p = 0: the step counts as infinite
        // and the trial point is never evaluated.
        StopCase{"HugeStep", FarTarget, 1, 3, {0.0}, 100, Opts(1e-3, 1e-17), 4, -1, 0, 2, true},
        // 30 rejections in a row from the first Jacobian: 29 completed passes, one trial
        // evaluation per pass, p never moves.
        StopCase{"DampingOverflow", Spike, 1, 2, {1.0}, 1000, Opts(1e-3, 0.0), 5, 29, 29, 32, true},
        // An unsolvable system is a rejected step: mu stays 0 with tau = 0, so every pass
        // fails to solve, without evaluating anything, until the damping counter overflows.
        StopCase{
            "Unsolvable", IgnoresSecond, 2, 3, {0.5, 0.5}, 99, Opts(0, 1e-17), 5, 29, 29, 3, true},
        StopCase{"NaNAtStart", AlwaysNaN, 2, 4, {0.1, 0.2}, 100, {}, 7, -1, 0, 1, true},
        StopCase{"NaNAtStartNoIterations", AlwaysNaN, 2, 4, {0.1, 0.2}, 0, {}, 7, -1, 0, 1, true},
        StopCase{"NaNAtTrialPoint", NaNBeyondHalf, 1, 2, {0.0}, 100, {}, 7, -1, 0, 3, true}),
    [](const ::testing::TestParamInfo<StopCase>& param) { return param.param.name; });

TEST(LevmarStopReasonsInfo, NoJacobianMeansDefinedDampingEntry) {
    double p[2] = {0.1, 0.2};
    double info[LM_INFO_SZ];
    dlevmar_dif(AlwaysNaN, p, nullptr, 2, 4, 100, nullptr, info, nullptr, nullptr, nullptr);
    EXPECT_TRUE(std::isnan(info[0]));
    EXPECT_EQ(info[3], DBL_MAX) << "no step tried";
    EXPECT_EQ(info[4], 0.0) << "mu is 0 before the first Jacobian";
    EXPECT_EQ(info[8], 0.0);
}

// Rosenbrock converges from the classic start; the default thresholds end it on the small
// error, a gradient threshold of 1e-10 (and eps3 = 0) on the small gradient, with info[3]
// reset to 0.
TEST(LevmarStopReasonsInfo, RosenbrockEndsOnErrorOrGradient) {
    double opts[2][LM_OPTS_SZ] = {{1e-3, 1e-17, 1e-17, 1e-17, 1e-6},
                                  {1e-3, 1e-10, 1e-17, 0.0, 1e-6}};
    const int reasons[2] = {6, 1};
    for (int c = 0; c < 2; ++c) {
        double p[2] = {-1.2, 1.0};
        double info[LM_INFO_SZ];
        const int ret = dlevmar_dif(Rosenbrock, p, nullptr, 2, 2, 1000, opts[c], info, nullptr,
                                    nullptr, nullptr);
        EXPECT_EQ(ret, info[5]);
        EXPECT_EQ(info[6], reasons[c]);
        EXPECT_NEAR(p[0], 1.0, 1e-8);
        EXPECT_NEAR(p[1], 1.0, 1e-8);
        if (reasons[c] == 1) {
            EXPECT_EQ(info[3], 0.0);
            EXPECT_LE(info[2], 1e-10);
        } else {
            EXPECT_LE(info[1], 1e-17);
        }
    }
}

struct BadCall {
    std::string name;
    LevmarModelFunction func;
    bool null_p;
    int m;
    int n;
};

void PrintTo(const BadCall& c, std::ostream* os) { *os << c.name; }

class LevmarInvalidArguments : public ::testing::TestWithParam<BadCall> {};

TEST_P(LevmarInvalidArguments, ReturnMinusOneAndTouchNothing) {
    const BadCall& c = GetParam();
    double p[3] = {1.0, 2.0, 3.0};
    double info[LM_INFO_SZ];
    for (double& value : info) value = -7.0;
    const int ret = dlevmar_dif(c.func, c.null_p ? nullptr : p, nullptr, c.m, c.n, 100, nullptr,
                                info, nullptr, nullptr, nullptr);
    EXPECT_EQ(ret, -1);
    EXPECT_EQ(p[0], 1.0);
    for (double value : info) EXPECT_EQ(value, -7.0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LevmarInvalidArguments,
    ::testing::Values(BadCall{"FewerEquationsThanParameters", Rosenbrock, false, 3, 2},
                      BadCall{"NoParameters", Rosenbrock, false, 0, 2},
                      BadCall{"NegativeSizes", Rosenbrock, false, -1, -1},
                      BadCall{"NullModel", nullptr, false, 2, 2},
                      BadCall{"NullParameters", Rosenbrock, true, 2, 2},
                      BadCall{"SizeOverflowsWorkArea", Rosenbrock, false, 2, 1 << 30}),
    [](const ::testing::TestParamInfo<BadCall>& param) { return param.param.name; });

}  // namespace
