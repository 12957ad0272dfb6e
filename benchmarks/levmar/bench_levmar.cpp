// One coplanarity solve (m = 5, n = 20, the program's options) with dlevmar_dif, against
// MINPACK's lmdif on the same problems in the same run. Each iteration solves one of eight
// reference problems in turn, so the time per iteration is the mean over those problems.
#include <benchmark/benchmark.h>
#include <cminpack.h>

#include <array>
#include <cfloat>
#include <cmath>
#include <vector>

#include "levmar/levmar.h"
#include "testing/reference_vectors.h"

namespace {

constexpr int kM = 5;
constexpr int kN = 20;

// The workload: eight reference solves of testing/data/levmar-reference-vectors.json.
const std::vector<const lmtest::ReferenceSolve*>& Problems() {
    static const std::vector<const lmtest::ReferenceSolve*> problems = [] {
        std::vector<const lmtest::ReferenceSolve*> chosen;
        for (const char* name :
             {"rounded_t1", "noisy_t1_a", "noisy_t1_b", "noisy_t2", "outliers3_t1", "far_start_t1",
              "degenerate_one_row", "mismatch_sample_fresh"}) {
            chosen.push_back(&lmtest::ReferenceSolveNamed(name));
        }
        return chosen;
    }();
    return problems;
}

std::vector<lmtest::CoplanarityData> MakeData() {
    std::vector<lmtest::CoplanarityData> data;
    for (const lmtest::ReferenceSolve* problem : Problems()) data.push_back({problem->rows});
    return data;
}

void SolveWithLevmar(benchmark::State& state, bool supply_work) {
    std::vector<lmtest::CoplanarityData> data = MakeData();
    std::vector<double> work(LM_DIF_WORKSZ(kM, kN));
    double evaluations = 0.0;
    std::size_t k = 0;
    for (auto _ : state) {
        const std::size_t i = k++ % data.size();
        std::array<double, kM> p = Problems()[i]->start_p;
        double x[kN] = {};
        std::array<double, LM_OPTS_SZ> opts = lmtest::ReferenceSolverCall().opts;
        double info[LM_INFO_SZ];
        dlevmar_dif(lmtest::CoplanarityResiduals, p.data(), x, kM, kN,
                    lmtest::ReferenceSolverCall().itmax, opts.data(), info,
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
        std::array<double, kM> p = Problems()[i]->start_p;
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
