// One coplanarity solve (m = 5, n = 20, the program's options) with dlevmar_dif, against
// MINPACK's lmdif on the same problems in the same run. Each iteration solves one of eight
// reference problems in turn, so the time per iteration is the mean over those problems.
#include <benchmark/benchmark.h>
#include <cminpack.h>

#include <array>
#include <cfloat>
#include <cmath>
#include <vector>

#include "bench_problems.h"
#include "coplanarity_model.h"
#include "levmar.h"

namespace {

constexpr int kM = 5;
constexpr int kN = 20;
constexpr int kItmax = 5000;

std::vector<lmtest::CoplanarityData> MakeData() {
    std::vector<lmtest::CoplanarityData> data;
    data.reserve(lmbench::kBenchProblems.size());
    for (const lmbench::BenchProblem& problem : lmbench::kBenchProblems) {
        data.push_back({std::vector<lmtest::TiePoint>(problem.rows.begin(), problem.rows.end())});
    }
    return data;
}

void SolveWithLevmar(benchmark::State& state, bool supply_work) {
    std::vector<lmtest::CoplanarityData> data = MakeData();
    std::vector<double> work(LM_DIF_WORKSZ(kM, kN));
    double evaluations = 0.0;
    std::size_t k = 0;
    for (auto _ : state) {
        const std::size_t i = k++ % data.size();
        std::array<double, kM> p = lmbench::kBenchProblems[i].start;
        double x[kN] = {};
        double opts[LM_OPTS_SZ] = {1e-3, 1e-15, 1e-15, 1e-20, 1e-6};
        double info[LM_INFO_SZ];
        dlevmar_dif(lmtest::CoplanarityResiduals, p.data(), x, kM, kN, kItmax, opts, info,
                    supply_work ? work.data() : nullptr, nullptr, &data[i]);
        benchmark::DoNotOptimize(p);
        evaluations += info[7];
    }
    state.counters["nfev"] = benchmark::Counter(evaluations / static_cast<double>(k));
}

void BM_Levmar(benchmark::State& state) { SolveWithLevmar(state, /*supply_work=*/false); }
void BM_LevmarWithWork(benchmark::State& state) { SolveWithLevmar(state, /*supply_work=*/true); }

int MinpackResiduals(void* adata, int n, int m, const double* p, double* fvec, int) {
    double params[kM];
    for (int j = 0; j < m; ++j) params[j] = p[j];
    lmtest::CoplanarityResiduals(params, fvec, m, n, adata);
    return 0;
}

// lmdif with its recommended tolerance sqrt(machine epsilon), no gradient test and
// machine-precision difference steps.
void BM_MinpackLmdif(benchmark::State& state) {
    std::vector<lmtest::CoplanarityData> data = MakeData();
    const double tolerance = std::sqrt(DBL_EPSILON);
    std::vector<double> fvec(kN), diag(kM), fjac(static_cast<std::size_t>(kN) * kM), qtf(kM),
        wa1(kM), wa2(kM), wa3(kM), wa4(kN);
    std::vector<int> ipvt(kM);
    double evaluations = 0.0;
    std::size_t k = 0;
    for (auto _ : state) {
        const std::size_t i = k++ % data.size();
        std::array<double, kM> p = lmbench::kBenchProblems[i].start;
        int nfev = 0;
        lmdif(MinpackResiduals, &data[i], kN, kM, p.data(), fvec.data(), tolerance, tolerance, 0.0,
              200 * (kM + 1), 0.0, diag.data(), 1, 100.0, 0, &nfev, fjac.data(), kN, ipvt.data(),
              qtf.data(), wa1.data(), wa2.data(), wa3.data(), wa4.data());
        benchmark::DoNotOptimize(p);
        evaluations += nfev;
    }
    state.counters["nfev"] = benchmark::Counter(evaluations / static_cast<double>(k));
}

BENCHMARK(BM_MinpackLmdif);
BENCHMARK(BM_Levmar);
BENCHMARK(BM_LevmarWithWork);

}  // namespace

BENCHMARK_MAIN();
