// The estimation of `relative` after the matching, on realistic tie points:
//   BM_Estimation/example   the example pair's 240 matches (positions to 0.01 px)
//   BM_Estimation/outliers  300 synthetic matches, 0.5 px noise, 3 % false matches
//   BM_OneSolve             one solve of 20 tie points, the unit of the 1000 above
//   BM_Clustering           statistics, bins and averaging of a 1000-row table
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "levmar/levmar.h"
#include "relative/clustering.h"
#include "relative/estimation.h"
#include "relative/utils.h"
#include "testing/scene.h"

namespace {

using scene::MakeTiePoints;
using scene::SceneOptions;
using scene::ToMatchArray;
using scene::TrueOrientation;

using relative::ClusterSolutions;
using relative::EstimateFromMatches;
using relative::kInitialParameters;
using relative::kIterationLimit;
using relative::kPointsPerSample;
using relative::kRadiansPerDegree;
using relative::kSolverOptions;
using relative::RelativeOrientation;
using relative::Solution;
using relative::SolutionTable;
using relative::SolveSamples;

MatchArray ExampleMatches() {
    int n1 = 0, d1 = 0, n2 = 0, d2 = 0;
    const keypoints::KeypointList k1 =
        ReadKeyFile(RO_SOURCE_DIR "/data/example/img1.key", &n1, &d1);
    const keypoints::KeypointList k2 =
        ReadKeyFile(RO_SOURCE_DIR "/data/example/img2.key", &n2, &d2);
    int numMatches = 0;
    return FindMatches(k1, k2, d1, &numMatches);
}

MatchArray OutlierMatches() {
    SceneOptions o;
    o.points = 300;
    o.noise_px = 0.5;
    o.outlier_fraction = 0.03;
    o.seed = 2026;
    const TrueOrientation t{-0.1, 0.05, -1.2 * kRadiansPerDegree, 0.8 * kRadiansPerDegree,
                            1.5 * kRadiansPerDegree};
    return ToMatchArray(MakeTiePoints(t, o));
}

const MatchArray& Matches(int which) {
    static const MatchArray example = ExampleMatches();
    static const MatchArray outliers = OutlierMatches();
    return which == 0 ? example : outliers;
}

void BM_Estimation(benchmark::State& state) {
    const MatchArray& matches = Matches(static_cast<int>(state.range(0)));
    std::FILE* log = std::fopen("/dev/null", "w");
    unsigned seed = 1;
    for (auto _ : state) {
        const RelativeOrientation r = EstimateFromMatches(matches, seed++, log);
        benchmark::DoNotOptimize(r);
    }
    std::fclose(log);
    state.SetLabel(state.range(0) == 0 ? "example" : "outliers");
}
BENCHMARK(BM_Estimation)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_OneSolve(benchmark::State& state) {
    const MatchArray& matches = Matches(0);
    std::vector<std::array<double, 4>> rows;
    for (int k = 0; k < kPointsPerSample; ++k) {
        const MatchRow& m = matches[static_cast<std::size_t>(k * 11)];
        rows.push_back({m[1], m[0], m[3], m[2]});
    }
    InfoSt info;
    info.tiepoints = &rows;
    double x[kPointsPerSample] = {};
    double lm_info[LM_INFO_SZ];
    for (auto _ : state) {
        Solution p = kInitialParameters;
        std::array<double, LM_OPTS_SZ> opts = kSolverOptions;
        dlevmar_dif(fcoplanar, p.data(), x, 5, kPointsPerSample, kIterationLimit, opts.data(),
                    lm_info, nullptr, nullptr, &info);
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_OneSolve)->Unit(benchmark::kMicrosecond);

void BM_Clustering(benchmark::State& state) {
    const SolutionTable vals = SolveSamples(Matches(1), 7u);
    std::FILE* log = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        const Solution mean = ClusterSolutions(vals, log);
        benchmark::DoNotOptimize(mean);
    }
    std::fclose(log);
}
BENCHMARK(BM_Clustering)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
