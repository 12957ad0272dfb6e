// A whole run of orient (read both keypoint files, match, estimate, write the report, the
// JSON and the CSV) against its matching stage alone (read both files and match), on
// synthetic 10000 x 10000 keypoint pairs: 1500 or 3000 tie points of a scene, a fifth of
// them false matches, among the unmatched keypoints of each photograph. On 1 and 2
// threads; and matching alone on 1 and 2 threads.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "orient/run.h"
#include "pair_run/input_files.h"
#include "robust_orientation/keypoint_matching.h"
#include "testing/scene.h"

namespace {

using scene::KeyFileText;
using scene::MakeScene;
using scene::Scene;
using scene::SceneOptions;

constexpr int kKeypoints = 10000;
constexpr int kDims = 128;

struct PairFiles {
    std::string dir;
    std::string file1;
    std::string file2;
};

bool WriteText(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && written;
}

// The pair's files for `tie_points` tie points, written once into a temporary folder: the
// shared scene's keypoints with SIFT-like descriptors, tie points first, then the unmatched
// ones.
PairFiles MakeFiles(int tie_points) {
    PairFiles p;
    p.dir = (std::filesystem::temp_directory_path() /
             ("bench_orient_run_" + std::to_string(tie_points)))
                .string();
    std::filesystem::create_directories(p.dir);
    p.file1 = p.dir + "/img1.key";
    p.file2 = p.dir + "/img2.key";
    SceneOptions options;
    options.points = tie_points;
    options.distractors = kKeypoints - tie_points;
    options.outlier_fraction = 0.2;
    options.min_depth = 4.0;
    options.max_depth = 8.0;
    options.noise_px = 0.5;
    options.seed = 21;
    const Scene s = MakeScene({0.03, -0.02, 0.02, -0.03, 0.7}, options);
    if (!WriteText(p.file1, KeyFileText(s.keys1, kDims)) ||
        !WriteText(p.file2, KeyFileText(s.keys2, kDims))) {
        std::fprintf(stderr, "cannot write the keypoint files in %s\n", p.dir.c_str());
    }
    return p;
}

const PairFiles& Files(std::int64_t tie_points) {
    static const PairFiles many = MakeFiles(3000);
    static const PairFiles fewer = MakeFiles(1500);
    return tie_points == 3000 ? many : fewer;
}

void BM_MatchingStage(benchmark::State& state) {
    const PairFiles& p = Files(state.range(1));
    std::size_t matches = 0;
    for (auto _ : state) {
        pair_run::KeypointFile first{p.file1, {}, 0};
        pair_run::KeypointFile second{p.file2, {}, 0};
        if (!pair_run::ReadKeypointFiles(first, second).empty()) state.SkipWithError("unreadable");
        keypoints::MatchOptions options;
        options.threads = static_cast<int>(state.range(0));
        matches = ro::MatchKeypoints(first.keys, second.keys, first.dimensions, options).size();
        benchmark::DoNotOptimize(matches);
    }
    state.counters["matches"] = static_cast<double>(matches);
}
BENCHMARK(BM_MatchingStage)
    ->ArgsProduct({{1, 2}, {1500, 3000}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Matching alone, the keypoints already read: how it scales with threads.
void BM_Matching(benchmark::State& state) {
    const PairFiles& p = Files(state.range(1));
    pair_run::KeypointFile first{p.file1, {}, 0};
    pair_run::KeypointFile second{p.file2, {}, 0};
    if (!pair_run::ReadKeypointFiles(first, second).empty()) state.SkipWithError("unreadable");
    keypoints::MatchOptions options;
    options.threads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            ro::MatchKeypoints(first.keys, second.keys, first.dimensions, options));
    }
}
BENCHMARK(BM_Matching)->ArgsProduct({{1, 2}, {3000}})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WholeRun(benchmark::State& state) {
    const PairFiles& p = Files(state.range(1));
    const std::string threads = std::to_string(state.range(0));
    const std::string json = p.dir + "/out.json";
    const std::string csv = p.dir + "/out.csv";
    const char* argv[] = {"orient",     "--quiet",  "--threads", threads.c_str(), "--json",
                          json.c_str(), "--points", csv.c_str(), p.file1.c_str(), p.file2.c_str()};
    for (auto _ : state) {
        if (orient::OrientMain(10, argv) != orient::kOriented) state.SkipWithError("not oriented");
    }
}
BENCHMARK(BM_WholeRun)
    ->ArgsProduct({{1, 2}, {1500, 3000}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
