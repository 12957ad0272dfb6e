// The dlevmar_dif interface beyond the program's call: opts == NULL, central differences,
// covariance, caller-supplied work, measurements x, and problems with many parameters.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <thread>
#include <vector>

#include "levmar/levmar.h"
#include "levmar/lm_kernels.h"
#include "testing/reference_vectors.h"

namespace lmtest {
namespace {

struct SolveRun {
    int ret = 0;
    std::vector<double> p;
    std::array<double, LM_INFO_SZ> info{};
};

// Bit patterns, so that NaNs compare equal and -0.0 differs from 0.0.
std::vector<std::uint64_t> Bits(std::span<const double> values) {
    std::vector<std::uint64_t> bits;
    bits.reserve(values.size());
    for (double value : values) bits.push_back(std::bit_cast<std::uint64_t>(value));
    return bits;
}

bool SameBits(const SolveRun& a, const SolveRun& b) {
    return a.ret == b.ret && Bits(a.p) == Bits(b.p) && Bits(a.info) == Bits(b.info);
}

SolveRun Solve(LevmarModelFunction func, std::vector<double> p, int n, double* opts, void* adata,
               double* work = nullptr, double* x = nullptr, double* covar = nullptr) {
    SolveRun run;
    run.ret = dlevmar_dif(func, p.data(), x, static_cast<int>(p.size()), n, 1000, opts,
                          run.info.data(), work, covar, adata);
    run.p = std::move(p);
    return run;
}

SolveRun SolveReference(double* opts, double* work) {
    const ReferenceSolve& solve = ReferenceSolveNamed("noisy_t1_a");
    CoplanarityData data{solve.rows};
    return Solve(CoplanarityResiduals, {solve.start_p.begin(), solve.start_p.end()}, 20, opts,
                 &data, work);
}

// No hidden state: solves running at the same time on different threads give exactly the
// results they give one after another.
TEST(LevmarReentrancy, ParallelSolvesMatchSequentialOnes) {
    const std::vector<ReferenceSolve>& solves = ReferenceSolves();
    auto run = [&](std::size_t i) {
        CoplanarityData data{solves[i].rows};
        std::array<double, LM_OPTS_SZ> opts = ReferenceSolverCall().opts;
        return Solve(CoplanarityResiduals, {solves[i].start_p.begin(), solves[i].start_p.end()}, 20,
                     opts.data(), &data);
    };
    std::vector<SolveRun> sequential, parallel(solves.size());
    for (std::size_t i = 0; i < solves.size(); ++i) sequential.push_back(run(i));
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (std::size_t i = t; i < solves.size(); i += 4) parallel[i] = run(i);
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (std::size_t i = 0; i < solves.size(); ++i) {
        EXPECT_TRUE(SameBits(sequential[i], parallel[i])) << solves[i].name;
    }
}

TEST(LevmarOptions, NullMeansTheDocumentedDefaults) {
    double defaults[LM_OPTS_SZ] = {1e-3, 1e-17, 1e-17, 1e-17, 1e-6};
    EXPECT_TRUE(SameBits(SolveReference(nullptr, nullptr), SolveReference(defaults, nullptr)));
}

TEST(LevmarWork, SuppliedBlockGivesTheSameResultAndCarriesNothingOver) {
    std::array<double, LM_OPTS_SZ> opts = ReferenceSolverCall().opts;
    std::vector<double> work(LM_DIF_WORKSZ(5, 20), std::numeric_limits<double>::quiet_NaN());
    const SolveRun own = SolveReference(opts.data(), nullptr);
    const SolveRun first = SolveReference(opts.data(), work.data());
    // work now holds the last solve
    const SolveRun second = SolveReference(opts.data(), work.data());
    EXPECT_TRUE(SameBits(own, first));
    EXPECT_TRUE(SameBits(own, second));
}

// Exponential decay a exp(-b t) + c at t = 0, 0.25, ...
void Decay(double* p, double* hx, int, int n, void*) {
    for (int i = 0; i < n; ++i) hx[i] = p[0] * std::exp(-p[1] * (0.25 * i)) + p[2];
}

struct DecayData {
    std::vector<double> y;
};

void DecayMinusData(double* p, double* hx, int m, int n, void* adata) {
    Decay(p, hx, m, n, nullptr);
    const auto& data = *static_cast<const DecayData*>(adata);
    for (int i = 0; i < n; ++i) hx[i] = hx[i] - data.y[i];
}

DecayData DecaySamples(int n) {
    DecayData data;
    for (int i = 0; i < n; ++i) {
        data.y.push_back(2.0 * std::exp(-0.7 * (0.25 * i)) + 0.3 + 1e-3 * std::sin(3.0 * i));
    }
    return data;
}

TEST(LevmarMeasurements, ZerosAreTheSameAsNull) {
    DecayData data = DecaySamples(16);
    std::vector<double> zeros(16, 0.0);
    const SolveRun with_null = Solve(DecayMinusData, {1.0, 1.0, 0.0}, 16, nullptr, &data);
    const SolveRun with_zeros =
        Solve(DecayMinusData, {1.0, 1.0, 0.0}, 16, nullptr, &data, nullptr, zeros.data());
    EXPECT_TRUE(SameBits(with_null, with_zeros));
}

TEST(LevmarMeasurements, XIsSubtractedFromTheModel) {
    DecayData data = DecaySamples(16);
    const SolveRun with_x =
        Solve(Decay, {1.0, 1.0, 0.0}, 16, nullptr, nullptr, nullptr, data.y.data());
    const SolveRun shifted = Solve(DecayMinusData, {1.0, 1.0, 0.0}, 16, nullptr, &data);
    ASSERT_GE(with_x.ret, 0);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(with_x.p[i], shifted.p[i], 1e-9);
    EXPECT_NEAR(with_x.p[1], 0.7, 1e-2);
}

// Forward or central differences: both converge; the evaluation count shows the scheme.
class LevmarDifferences : public ::testing::TestWithParam<double> {};

TEST_P(LevmarDifferences, ConvergeAndCountEvaluations) {
    double opts[LM_OPTS_SZ] = {1e-3, 1e-17, 1e-17, 1e-17, GetParam()};
    DecayData data = DecaySamples(16);
    const SolveRun run = Solve(Decay, {1.0, 1.0, 0.0}, 16, opts, nullptr, nullptr, data.y.data());
    ASSERT_GE(run.ret, 0);
    const double per_jacobian = GetParam() < 0 ? 6 : 3;
    // One start evaluation, one per Jacobian column (two if central), one per step tried.
    EXPECT_EQ(run.info[7], 1 + per_jacobian * run.info[8] + run.info[5]);
    const SolveRun reference =
        Solve(Decay, {1.0, 1.0, 0.0}, 16, nullptr, nullptr, nullptr, data.y.data());
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(run.p[i], reference.p[i], 1e-7);
}

INSTANTIATE_TEST_SUITE_P(Schemes, LevmarDifferences, ::testing::Values(1e-6, -1e-6));

void Square(double* p, double* hx, int, int, void*) { hx[0] = p[0] * p[0]; }

// The step is max(1e-4 |p|, delta): forward differences of p^2 are off by exactly that step,
// central ones are exact up to rounding.
TEST(LevmarFiniteDifferences, StepRuleAndSchemes) {
    struct Case {
        double p;
        double step;
    };
    for (const Case c : {Case{3.0, 3e-4}, Case{-3.0, 3e-4}, Case{1e-3, 1e-6}, Case{0.0, 1e-6}}) {
        lm::LmProblem problem{.func = Square, .adata = nullptr, .m = 1, .n = 1, .x = nullptr};
        std::array<double, 1> p{c.p}, hx{c.p * c.p}, jac{}, a{}, b{};
        lm::FiniteDifferenceJacobian(problem, p, hx, 1e-6, lm::LmDifference::kForward, jac, a, b);
        EXPECT_NEAR(jac[0], 2.0 * c.p + c.step, 1e-9 + 1e-6 * c.step) << c.p;
        EXPECT_EQ(p[0], c.p) << "p restored";
        lm::FiniteDifferenceJacobian(problem, p, hx, 1e-6, lm::LmDifference::kCentral, jac, a, b);
        EXPECT_NEAR(jac[0], 2.0 * c.p, 1e-9) << c.p;
        EXPECT_EQ(p[0], c.p);
    }
}

// Quadratic polynomial a + b t + c t^2: linear in p, so (J^T J)^-1 is known in closed form.
void Quadratic(double* p, double* hx, int, int n, void*) {
    for (int i = 0; i < n; ++i) {
        const double t = -1.0 + 2.0 * i / (n - 1);
        hx[i] = p[0] + p[1] * t + p[2] * t * t;
    }
}

std::array<double, 9> InverseOfNormalMatrix(int n) {
    double s[5] = {};  // sums of t^k
    for (int i = 0; i < n; ++i) {
        const double t = -1.0 + 2.0 * i / (n - 1);
        for (int k = 0; k < 5; ++k) s[k] += std::pow(t, k);
    }
    const double a[3][3] = {{s[0], s[1], s[2]}, {s[1], s[2], s[3]}, {s[2], s[3], s[4]}};
    std::array<double, 9> inv{};
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {  // cofactor of (c, r), the adjugate's (r, c) entry
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            inv[r * 3 + c] = (a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) / det;
        }
    }
    return inv;
}

TEST(LevmarCovariance, MatchesScaledInverseOnALinearProblem) {
    constexpr int n = 15;
    std::vector<double> y;
    y.reserve(n);
    for (int i = 0; i < n; ++i)
        y.push_back(1.0 + 0.5 * i - 0.02 * i * i + 0.05 * std::cos(7.0 * i));
    std::array<double, 9> covar{};
    const SolveRun run =
        Solve(Quadratic, {0.0, 0.0, 0.0}, n, nullptr, nullptr, nullptr, y.data(), covar.data());
    ASSERT_GE(run.ret, 0);
    const double variance = run.info[1] / (n - 3);
    const std::array<double, 9> inv = InverseOfNormalMatrix(n);
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(covar[i], inv[i] * variance, 1e-6 * variance) << i;
    }
}

// p1 has no effect: J^T J is singular whatever the damping did.
void IgnoresSecond(double* p, double* hx, int, int, void*) {
    hx[0] = p[0] - 1.0;
    hx[1] = p[0] + 2.0;
    hx[2] = 3.0 * p[0];
}

TEST(LevmarCovariance, UndefinedCovarianceIsNaNNotGarbage) {
    std::array<double, 4> covar{1.0, 2.0, 3.0, 4.0};
    Solve(IgnoresSecond, {0.5, 0.5}, 3, nullptr, nullptr, nullptr, nullptr, covar.data());
    for (double value : covar) EXPECT_TRUE(std::isnan(value));

    std::array<double, 9> square{};  // n == m: no degrees of freedom left
    Solve(Quadratic, {0.0, 0.0, 0.0}, 3, nullptr, nullptr, nullptr, nullptr, square.data());
    for (double value : square) EXPECT_TRUE(std::isnan(value));
}

// Many parameters (m > 32 takes the heap path for the LU scratch): f_i = p_(i mod m) - i % m.
void Separable(double* p, double* hx, int m, int n, void*) {
    for (int i = 0; i < n; ++i) hx[i] = p[i % m] - (i % m) + 0.1 * p[(i + 1) % m];
}

TEST(LevmarLargeProblems, ConvergeWithAndWithoutWork) {
    for (const int m : {32, 40}) {
        const int n = m + 8;
        std::vector<double> work(LM_DIF_WORKSZ(m, n));
        const SolveRun own = Solve(Separable, std::vector<double>(m, 0.0), n, nullptr, nullptr);
        const SolveRun supplied =
            Solve(Separable, std::vector<double>(m, 0.0), n, nullptr, nullptr, work.data());
        ASSERT_GE(own.ret, 0) << m;
        EXPECT_TRUE(SameBits(own, supplied)) << m;
        EXPECT_LT(own.info[1], 1e-12) << m;
    }
}

}  // namespace
}  // namespace lmtest
