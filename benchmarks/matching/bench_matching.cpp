// Exhaustive matching: each fast kernel against the plain matcher in the same run, at
// 1000, 4000 and 10000 keypoints per list, on uniform and SIFT-like descriptors.
// The GMAC/s counter is the rate of descriptor multiply-adds (n1 * n2 * 128).
#include <benchmark/benchmark.h>

#include <map>
#include <utility>

#include "benchmarks/matching/peak_probe.h"
#include "keypoints/fast_matcher.h"
#include "relative/utils.h"
#include "testing/keypoint_files.h"

namespace {

using scene::RelatedKeys;
using scene::SiftLikeKeys;
using scene::UniformKeys;

using keypoints::MatchKernel;
using keypoints::MatchKernelAvailable;
using keypoints::MatchKernelName;
using relative::FindMatchesFast;
using relative::FindMatchesReference;

constexpr int kDims = 128;

struct Pair {
    keypoints::KeypointList keys1;
    keypoints::KeypointList keys2;
};

// Generated once per shape; list 2 holds perturbed copies and near-duplicates of list 1.
const Pair& Data(bool sift, int n) {
    static std::map<std::pair<bool, int>, Pair> cache;
    auto it = cache.find({sift, n});
    if (it == cache.end()) {
        Pair p;
        p.keys1 = sift ? SiftLikeKeys(n, kDims, 5) : UniformKeys(n, kDims, 0, 255, 5);
        p.keys2 = RelatedKeys(p.keys1, n, 0, 255, 6);
        if (sift) {
            // Every key of list 2 that is not a copy of a list-1 key becomes SIFT-like too
            // (Related copies into every third slot and, for two thirds of those, the next).
            const keypoints::KeypointList others = SiftLikeKeys(n, kDims, 7);
            for (int j = 0; j < n; ++j) {
                const bool copy = j % 3 == 0 || (j % 3 == 1 && (j / 3) % 3 != 0);
                if (!copy || j + 1 >= n) p.keys2[j].descrip = others[j].descrip;
            }
        }
        it = cache.emplace(std::make_pair(sift, n), std::move(p)).first;
    }
    return it->second;
}

void SetCounters(benchmark::State& state, int n, int matches) {
    state.counters["GMAC/s"] =
        benchmark::Counter(1e-9 * n * n * kDims, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["matches"] = matches;
}

void BM_Fast(benchmark::State& state, MatchKernel kernel, bool sift) {
    if (!MatchKernelAvailable(kernel)) {
        state.SkipWithError("kernel not supported by this CPU");
        return;
    }
    const int n = static_cast<int>(state.range(0));
    const Pair& d = Data(sift, n);
    int count = 0;
    for (auto _ : state) {
        MatchArray m = FindMatchesFast(d.keys1, d.keys2, kDims, &count, kernel);
        benchmark::DoNotOptimize(m.data());
    }
    SetCounters(state, n, count);
}

void BM_Reference(benchmark::State& state, bool sift) {
    const int n = static_cast<int>(state.range(0));
    const Pair& d = Data(sift, n);
    int count = 0;
    for (auto _ : state) {
        MatchArray m = FindMatchesReference(d.keys1, d.keys2, kDims, &count);
        benchmark::DoNotOptimize(m.data());
    }
    SetCounters(state, n, count);
}

// The 8-bit multiply-add peak of this core: independent vpdpbusd, no loads. The
// fraction of peak of a kernel is its GMAC/s over this one's.
void BM_Peak(benchmark::State& state) {
    if (!MatchKernelAvailable(MatchKernel::vnni)) {
        state.SkipWithError("no AVX-512 VNNI on this CPU");
        return;
    }
    constexpr std::int64_t kRounds = 1 << 22;
    for (auto _ : state) benchmark::DoNotOptimize(VpdpbusdPeakLoop(kRounds));
    state.counters["GMAC/s"] =
        benchmark::Counter(1e-9 * kRounds * 1024, benchmark::Counter::kIsIterationInvariantRate);
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
    b->Arg(1000)->Arg(4000)->Arg(10000);
}

void Register() {
    benchmark::RegisterBenchmark("Peak/vpdpbusd", BM_Peak)
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
    for (bool sift : {false, true}) {
        const char* set = sift ? "sift" : "uniform";
        for (MatchKernel k : {MatchKernel::vnni, MatchKernel::avx2, MatchKernel::portable}) {
            const std::string name = std::string("Match/") + set + "/" + MatchKernelName(k);
            Sizes(benchmark::RegisterBenchmark(name.c_str(), BM_Fast, k, sift));
        }
        const std::string name = std::string("Match/") + set + "/reference";
        auto* b = benchmark::RegisterBenchmark(name.c_str(), BM_Reference, sift);
        b->Unit(benchmark::kMillisecond)->Repetitions(3)->ReportAggregatesOnly(true);
        b->Arg(1000)->Arg(4000)->Arg(10000)->Iterations(1);
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
