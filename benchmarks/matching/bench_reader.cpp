// Reading a 10000-keypoint file (128 values each): the streaming reader, the plain reader
// (whole text, then ParseKeyText) and a loop of fscanf calls with the formats "%d %d",
// "%f %f %f %f" and "%d", all in the same run on the same file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "keypoints/fast_reader.h"
#include "relative/utils.h"
#include "testing/keypoint_files.h"

namespace {

using scene::SiftLikeKeyFile;

using keypoints::KeyFileParse;
using keypoints::KeyFileStreamResult;
using keypoints::ParseKeyText;
using keypoints::ReadKeyFileStream;

constexpr int kKeys = 10000;
constexpr int kDims = 128;

// The file is written once, in the usual layout (four reals on a line, then the
// descriptor in lines of 20 values), with SIFT-like descriptors.
const std::string& KeyFilePath() {
    static const std::string path = [] {
        std::string p = "/tmp/bench_reader_" + std::to_string(::getpid()) + ".key";
        const std::string text = SiftLikeKeyFile(kKeys, kDims, 1);
        std::FILE* f = std::fopen(p.c_str(), "wb");
        if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size()) std::abort();
        std::fclose(f);
        return p;
    }();
    return path;
}

std::string ReadAll(const std::string& path) {
    std::string text;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return text;
    char block[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, f)) > 0) text.append(block, got);
    std::fclose(f);
    return text;
}

void BM_Streaming(benchmark::State& state) {
    const std::string& path = KeyFilePath();
    for (auto _ : state) {
        KeyFileStreamResult r = ReadKeyFileStream(path.c_str());
        if (r.parse.keys.size() != kKeys) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(r.parse.keys.data());
    }
}

void BM_WholeTextReference(benchmark::State& state) {
    const std::string& path = KeyFilePath();
    for (auto _ : state) {
        KeyFileParse p = ParseKeyText(ReadAll(path));
        if (p.keys.size() != kKeys) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(p.keys.data());
    }
}

void BM_FscanfLoop(benchmark::State& state) {
    const std::string& path = KeyFilePath();
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        int num = 0;
        int dims = 0;
        keypoints::KeypointList keys;
        if (f && std::fscanf(f, "%d %d", &num, &dims) == 2) {
            for (int k = 0; k < num; ++k) {
                KeypointSt key;
                if (std::fscanf(f, "%f %f %f %f", &key.row, &key.col, &key.scale, &key.ori) != 4) {
                    break;
                }
                key.descrip.resize(static_cast<std::size_t>(dims));
                for (int& v : key.descrip) {
                    if (std::fscanf(f, "%d", &v) != 1) break;
                }
                keys.push_back(std::move(key));
            }
        }
        if (f) std::fclose(f);
        if (keys.size() != kKeys) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(keys.data());
    }
}

void Configure(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
}

}  // namespace

BENCHMARK(BM_Streaming)->Apply(Configure);
BENCHMARK(BM_WholeTextReference)->Apply(Configure);
BENCHMARK(BM_FscanfLoop)->Apply(Configure);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(KeyFilePath().c_str());
    return 0;
}
