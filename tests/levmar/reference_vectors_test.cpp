// Every reference solve of data/levmar-reference-vectors.json, run through dlevmar_dif with
// the program's call (m = 5, n = 20, x = zeros, the program's opts).
#include "testing/reference_vectors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "levmar/levmar.h"

namespace lmtest {
namespace {

constexpr double kParameterTolerance = 1e-8;
constexpr double kErrorRelativeTolerance = 1e-6;
constexpr double kGradientStop = 1e-15;

const std::vector<ReferenceSolve>& Solves() { return ReferenceSolves(); }

struct Outcome {
    int ret = 0;
    std::array<double, 5> p{};
    std::array<double, LM_INFO_SZ> info{};
};

Outcome RunSolve(const ReferenceSolve& solve) {
    const ReferenceCall& call = ReferenceSolverCall();
    CoplanarityData data{solve.rows};
    Outcome out;
    out.p = solve.start_p;
    std::array<double, 5> opts = call.opts;
    std::vector<double> zeros(solve.rows.size(), 0.0);
    out.ret = dlevmar_dif(CoplanarityResiduals, out.p.data(), zeros.data(), 5,
                          static_cast<int>(solve.rows.size()), call.itmax, opts.data(),
                          out.info.data(), nullptr, nullptr, &data);
    return out;
}

void ExpectRelativeNear(double actual, double expected, const char* what) {
    const double scale = std::fabs(expected) > 0.0 ? std::fabs(expected) : 1.0;
    EXPECT_LE(std::fabs(actual - expected) / scale, kErrorRelativeTolerance)
        << what << ": " << actual << " vs " << expected;
}

class LevmarReferenceVectors : public ::testing::TestWithParam<std::size_t> {};

TEST_P(LevmarReferenceVectors, MatchesReferenceWithinTolerance) {
    const ReferenceSolve& solve = Solves().at(GetParam());
    const Outcome out = RunSolve(solve);
    EXPECT_EQ(out.ret, solve.expected_return);
    EXPECT_EQ(out.info[5], solve.iterations);
    EXPECT_EQ(out.info[6], solve.reason);
    EXPECT_EQ(out.info[7], solve.nfev);
    EXPECT_EQ(out.info[8], solve.njac);
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(out.p[i], solve.expected_p[i], kParameterTolerance) << "p[" << i << "]";
    }
    ExpectRelativeNear(out.info[0], *solve.info[0], "initial error");
    ExpectRelativeNear(out.info[1], *solve.info[1], "final error");
    ExpectRelativeNear(out.info[3], *solve.info[3], "last step");
    if (solve.reason == 1) {
        EXPECT_LE(out.info[2], kGradientStop);
    }
}

std::string SolveName(const ::testing::TestParamInfo<std::size_t>& info) {
    return Solves().at(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(AllSolves, LevmarReferenceVectors,
                         ::testing::Range<std::size_t>(0, Solves().size()), SolveName);

// The program's chaining: every solve starts where the previous one ended, p passed on as
// dlevmar_dif left it.
TEST(LevmarReferenceVectorsFile, ChainRunsEndToEnd) {
    std::array<double, 5> p{};
    int steps = 0;
    for (const ReferenceSolve& solve : Solves()) {
        if (solve.name.rfind("chain_t1_step", 0) != 0) continue;
        ReferenceSolve from_previous = solve;
        if (steps++ > 0) from_previous.start_p = p;
        const Outcome out = RunSolve(from_previous);
        EXPECT_EQ(out.info[5], solve.iterations) << solve.name;
        for (int i = 0; i < 5; ++i) {
            EXPECT_NEAR(out.p[i], solve.expected_p[i], kParameterTolerance) << solve.name;
        }
        p = out.p;
    }
    EXPECT_EQ(steps, 10);
}

TEST(LevmarReferenceVectorsFile, HoldsTwentyFiveSolves) { EXPECT_EQ(Solves().size(), 25u); }

// The solver keeps the reference's operation order, so with contraction off every number
// should agree to the last bit: p and all nine info entries (where the reference has one).
TEST(LevmarReferenceVectorsFile, AgreesBitForBit) {
    int identical = 0;
    for (const ReferenceSolve& solve : Solves()) {
        const Outcome out = RunSolve(solve);
        bool same = out.p == solve.expected_p && out.ret == solve.expected_return;
        for (int i = 0; i < LM_INFO_SZ; ++i) {
            if (solve.info[i] && out.info[i] != *solve.info[i]) same = false;
        }
        if (same) ++identical;
        EXPECT_TRUE(same) << solve.name << " differs in the last bits";
    }
    std::printf("bit-for-bit identical: %d of %zu solves\n", identical, Solves().size());
}

}  // namespace
}  // namespace lmtest
