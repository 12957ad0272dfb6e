// Heap use of a solve, measured by replacing the global allocation functions in this test
// binary: at most one allocation per call, none when the caller supplies the work block
// (for m up to 32), and a failed allocation is reported as -1 instead of ending the program.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "levmar/levmar.h"
#include "testing/reference_vectors.h"
#include "tests/levmar/counting_allocator.h"

namespace lmtest {
namespace {

// f_i = p_(i mod m) - (i mod m): m parameters, n = m + 4 equations.
void Separable(double* p, double* hx, int m, int n, void*) {
    for (int i = 0; i < n; ++i) hx[i] = p[i % m] - (i % m);
}

struct Counted {
    int ret = 0;
    int allocations = 0;
};

Counted CountSolve(int m, bool supply_work, bool fail = false) {
    const int n = m + 4;
    std::vector<double> p(m, 0.5);
    std::vector<double> work(supply_work ? LM_DIF_WORKSZ(m, n) : 0);
    double info[LM_INFO_SZ];
    const int before = AllocationCount();
    SetAllocationsFail(fail);
    const int ret = dlevmar_dif(Separable, p.data(), nullptr, m, n, 100, nullptr, info,
                                supply_work ? work.data() : nullptr, nullptr, nullptr);
    SetAllocationsFail(false);
    return {ret, AllocationCount() - before};
}

struct AllocationCase {
    int m;
    bool supply_work;
    int allocations;
};

class LevmarAllocations : public ::testing::TestWithParam<AllocationCase> {};

TEST_P(LevmarAllocations, AtMostOnePerSolve) {
    const AllocationCase& c = GetParam();
    const Counted counted = CountSolve(c.m, c.supply_work);
    EXPECT_GE(counted.ret, 0);
    EXPECT_EQ(counted.allocations, c.allocations);
}

INSTANTIATE_TEST_SUITE_P(Sizes, LevmarAllocations,
                         ::testing::Values(AllocationCase{5, false, 1}, AllocationCase{5, true, 0},
                                           AllocationCase{32, true, 0},
                                           AllocationCase{33, false, 1},
                                           AllocationCase{33, true, 1}));

TEST(LevmarAllocationCalls, ProgramCallAllocatesOnce) {
    const ReferenceSolve& solve = ReferenceSolves().front();
    CoplanarityData data{solve.rows};
    std::array<double, 5> p = solve.start_p;
    std::array<double, 5> opts = ReferenceSolverCall().opts;
    double x[20] = {};
    double info[LM_INFO_SZ];
    const int before = AllocationCount();
    dlevmar_dif(CoplanarityResiduals, p.data(), x, 5, 20, ReferenceSolverCall().itmax, opts.data(),
                info, nullptr, nullptr, &data);
    EXPECT_EQ(AllocationCount() - before, 1);
}

TEST(LevmarAllocationCalls, FailureIsReportedNotFatal) {
    EXPECT_EQ(CountSolve(5, false, /*fail=*/true).ret, -1);
    EXPECT_EQ(CountSolve(40, true, /*fail=*/true).ret, -1);
    EXPECT_GE(CountSolve(5, true, /*fail=*/true).ret, 0) << "needs no allocation";
}

}  // namespace
}  // namespace lmtest
