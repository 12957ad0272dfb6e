// The five-point solver and its baselines, on pools of 1000 seeded random exact problems:
//   FivePoint/{general,aerial}          SolveFivePoint (essential matrices only)
//   RelativePoseFivePoint/...           SolveFivePoint, decomposition and cheirality
//   EightPoint/...                      SolveEssentialLinear on 8 correspondences (baseline)
//   Svd3x3                              Eigen's JacobiSVD of one 3x3 matrix (baseline)
//   MissRate/{general,aerial}           one pass over 10000 problems; the counters give the
//                                       share whose true solution is not returned
#include <benchmark/benchmark.h>

#include <Eigen/SVD>
#include <cstdint>
#include <vector>

#include "testing/two_view_problems.h"

namespace {

using two_view::testing::Motion;

const char* Name(Motion m) { return m == Motion::kGeneral ? "general" : "aerial"; }

const std::vector<two_view::testing::Problem>& Pool(Motion motion, int points) {
    static std::vector<two_view::testing::Problem> pools[2][2];
    auto& pool = pools[motion == Motion::kGeneral ? 0 : 1][points == 5 ? 0 : 1];
    if (pool.empty()) {
        two_view::testing::Random random(motion == Motion::kGeneral ? 1001 : 1002);
        for (int i = 0; i < 1000; ++i)
            pool.push_back(two_view::testing::MakeProblem(motion, points, &random));
    }
    return pool;
}

void BM_FivePoint(benchmark::State& state, Motion motion) {
    const auto& pool = Pool(motion, 5);
    std::vector<two_view::FivePoints> x1, x2;
    for (const auto& p : pool) {
        x1.push_back(two_view::testing::FirstFive(p.x1));
        x2.push_back(two_view::testing::FirstFive(p.x2));
    }
    std::vector<Eigen::Matrix3d> essentials;
    std::size_t i = 0;
    std::int64_t solutions = 0;
    for (auto _ : state) {
        solutions += two_view::SolveFivePoint(x1[i], x2[i], &essentials);
        benchmark::DoNotOptimize(essentials.data());
        i = (i + 1) % pool.size();
    }
    state.counters["solutions"] =
        benchmark::Counter(static_cast<double>(solutions), benchmark::Counter::kAvgIterations);
}

void BM_RelativePoseFivePoint(benchmark::State& state, Motion motion) {
    const auto& pool = Pool(motion, 5);
    std::vector<two_view::RelativePose> poses;
    std::size_t i = 0;
    std::int64_t count = 0;
    for (auto _ : state) {
        const auto& p = pool[i];
        count += two_view::SolveRelativePoseFivePoint(two_view::testing::FirstFive(p.x1),
                                                      two_view::testing::FirstFive(p.x2), &poses);
        benchmark::DoNotOptimize(poses.data());
        i = (i + 1) % pool.size();
    }
    state.counters["poses"] =
        benchmark::Counter(static_cast<double>(count), benchmark::Counter::kAvgIterations);
}

void BM_EightPoint(benchmark::State& state, Motion motion) {
    const auto& pool = Pool(motion, 8);
    Eigen::Matrix3d e;
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(two_view::SolveEssentialLinear(pool[i].x1, pool[i].x2, &e));
        benchmark::DoNotOptimize(e.data());
        i = (i + 1) % pool.size();
    }
}

void BM_Svd3x3(benchmark::State& state) {
    const auto& pool = Pool(Motion::kGeneral, 5);
    std::size_t i = 0;
    for (auto _ : state) {
        const Eigen::JacobiSVD<Eigen::Matrix3d> svd(two_view::EssentialFromPose(pool[i].truth),
                                                    Eigen::ComputeFullU | Eigen::ComputeFullV);
        benchmark::DoNotOptimize(svd.matrixU().data());
        i = (i + 1) % pool.size();
    }
}

// Misses as in the unit test (CountFivePointMisses), over 10000 problems of each kind.
void BM_MissRate(benchmark::State& state, Motion motion) {
    constexpr int kProblems = 10000;
    two_view::testing::Misses misses;
    for (auto _ : state) {
        misses = two_view::testing::CountFivePointMisses(motion, kProblems,
                                                         motion == Motion::kGeneral ? 2001 : 2002);
    }
    state.counters["problems"] = kProblems;
    state.counters["missed_E_%"] = 100.0 * misses.essential / kProblems;
    state.counters["missed_pose_%"] = 100.0 * misses.pose / kProblems;
}

void Register() {
    for (Motion m : {Motion::kGeneral, Motion::kAerial}) {
        const std::string suffix = std::string("/") + Name(m);
        benchmark::RegisterBenchmark(("FivePoint" + suffix).c_str(), BM_FivePoint, m)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("RelativePoseFivePoint" + suffix).c_str(),
                                     BM_RelativePoseFivePoint, m)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("EightPoint" + suffix).c_str(), BM_EightPoint, m)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("Svd3x3", BM_Svd3x3)->Unit(benchmark::kMicrosecond);
    for (Motion m : {Motion::kGeneral, Motion::kAerial}) {
        benchmark::RegisterBenchmark((std::string("MissRate/") + Name(m)).c_str(), BM_MissRate, m)
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
