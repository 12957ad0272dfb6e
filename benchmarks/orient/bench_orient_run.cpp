// A whole run of orient (read both keypoint files, match, estimate, write the report, the
// JSON and the CSV) against its matching stage alone (read both files and match), on a
// synthetic 10000 x 10000 keypoint pair: 3000 tie points of a scene, a fifth of them false
// matches, among 7000 unmatched keypoints per photograph. Both on 1 and 2 threads.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "inputs.h"
#include "keypoint_matching.h"
#include "orient_scene.h"
#include "random.h"
#include "run.h"

namespace {

constexpr int kKeypoints = 10000;
constexpr int kTiePoints = 3000;
constexpr int kDims = 128;

struct PairFiles {
    std::string dir;
    std::string file1;
    std::string file2;
};

void WriteKey(std::FILE* f, double row, double col, const std::vector<int>& d) {
    std::fprintf(f, "%.2f %.2f 2.00 0.100\n", row, col);
    for (int k = 0; k < kDims; ++k) std::fprintf(f, k % 20 == 19 || k == kDims - 1 ? "%d\n" : "%d ", d[k]);
}

// The pair's files, written once into a temporary folder.
const PairFiles& Files() {
    static const PairFiles files = [] {
        PairFiles p;
        p.dir = (std::filesystem::temp_directory_path() / "bench_orient_run").string();
        std::filesystem::create_directories(p.dir);
        p.file1 = p.dir + "/img1.key";
        p.file2 = p.dir + "/img2.key";
        scene::OrientSceneOptions options;
        options.points = kTiePoints;
        options.outlier_fraction = 0.2;
        options.seed = 21;
        const scene::OrientScene s = scene::MakeOrientScene({0.03, -0.02, 0.02, -0.03, 0.7},
                                                            ro::BuiltInCamera(), ro::BuiltInCamera(), options);
        ro::SplitMix64 random(5);
        std::FILE* f1 = std::fopen(p.file1.c_str(), "w");
        std::FILE* f2 = std::fopen(p.file2.c_str(), "w");
        std::fprintf(f1, "%d %d\n", kKeypoints, kDims);
        std::fprintf(f2, "%d %d\n", kKeypoints, kDims);
        std::vector<int> d(kDims);
        std::vector<int> noisy(kDims);
        for (int i = 0; i < kKeypoints; ++i) {
            for (int& v : d) v = static_cast<int>(random.Below(256));
            if (i < static_cast<int>(s.tie_points.size())) {
                const ro::TiePoint& t = s.tie_points[static_cast<std::size_t>(i)];
                for (int k = 0; k < kDims; ++k) noisy[k] = std::clamp(d[k] + static_cast<int>(random.Below(21)) - 10, 0, 255);
                WriteKey(f1, t.row1_px, t.col1_px, d);
                WriteKey(f2, t.row2_px, t.col2_px, noisy);
                continue;
            }
            WriteKey(f1, random.Below(1024), random.Below(1920), d);
            for (int& v : d) v = static_cast<int>(random.Below(256));
            WriteKey(f2, random.Below(1024), random.Below(1920), d);
        }
        std::fclose(f1);
        std::fclose(f2);
        return p;
    }();
    return files;
}

void BM_MatchingStage(benchmark::State& state) {
    const PairFiles& p = Files();
    std::size_t matches = 0;
    for (auto _ : state) {
        orient::KeypointFile first{p.file1, {}, 0};
        orient::KeypointFile second{p.file2, {}, 0};
        if (!orient::ReadKeypointFiles(first, second).empty()) state.SkipWithError("unreadable");
        ro::MatchOptions options;
        options.threads = static_cast<int>(state.range(0));
        matches = ro::MatchKeypoints(first.keys, second.keys, first.dimensions, options).size();
        benchmark::DoNotOptimize(matches);
    }
    state.counters["matches"] = static_cast<double>(matches);
}
BENCHMARK(BM_MatchingStage)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WholeRun(benchmark::State& state) {
    const PairFiles& p = Files();
    const std::string threads = std::to_string(state.range(0));
    const std::string json = p.dir + "/out.json";
    const std::string csv = p.dir + "/out.csv";
    const char* argv[] = {"orient", "--quiet", "--threads", threads.c_str(), "--json", json.c_str(),
                          "--points", csv.c_str(), p.file1.c_str(), p.file2.c_str()};
    for (auto _ : state) {
        if (orient::OrientMain(10, argv) != orient::kOriented) state.SkipWithError("not oriented");
    }
}
BENCHMARK(BM_WholeRun)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
