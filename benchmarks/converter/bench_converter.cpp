// Throughput of the keypoint-to-CSV conversion, in bytes of keypoint file per second.
//
// Both contenders convert the same generated file (SIFT-like: 128 descriptor values per
// keypoint, 20 to a line) from disk to disk in the same run:
//   BM_PlainLoop      fscanf each number, fprintf each field: the straightforward loop
//   BM_Featsheet      the featsheet conversion core with its file streams
//   BM_FeatsheetCore  the core from memory to memory (parsing and formatting alone)
// Run with repetitions and compare the medians, e.g.
//   bench_converter --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "converter/byte_stream.h"
#include "converter/convert.h"
#include "testing/keypoint_files.h"

namespace featsheet {
namespace {

using scene::SiftLikeKeyFile;

constexpr int kKeypoints = 10000;
constexpr int kDims = 128;

// The generated file and an output path, shared by all runs.
struct Files {
    std::string text = SiftLikeKeyFile(kKeypoints, kDims, 1);
    std::string in = TempName("in");
    std::string out = TempName("out");

    Files() {
        std::FILE* f = std::fopen(in.c_str(), "wb");
        if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size())
            std::abort();
        std::fclose(f);
    }
    ~Files() {
        std::remove(in.c_str());
        std::remove(out.c_str());
    }
    static std::string TempName(const char* what) {
        return "/tmp/bench_converter_" + std::to_string(getpid()) + "_" + what;
    }
};

std::string ReadAll(const std::string& name) {
    std::string text;
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (f == nullptr) return text;
    char block[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, f)) > 0) text.append(block, got);
    std::fclose(f);
    return text;
}

bool PlainLoop(const char* in_name, const char* out_name);
bool FeatsheetFiles(const char* in_name, const char* out_name);

// The comparison only means something if both write the same bytes.
void CheckSameOutput(const Files& files) {
    if (!PlainLoop(files.in.c_str(), files.out.c_str())) std::abort();
    const std::string plain = ReadAll(files.out);
    if (!FeatsheetFiles(files.in.c_str(), files.out.c_str())) std::abort();
    if (ReadAll(files.out) != plain) {
        std::fputs("featsheet and the plain loop disagree\n", stderr);
        std::abort();
    }
}

const Files& SharedFiles() {
    static const Files files;
    static const bool checked = (CheckSameOutput(files), true);
    (void)checked;
    return files;
}

bool PlainLoop(const char* in_name, const char* out_name) {
    std::FILE* in = std::fopen(in_name, "rb");
    std::FILE* out = std::fopen(out_name, "wb");
    int num = 0;
    int dims = 0;
    bool ok = in != nullptr && out != nullptr && std::fscanf(in, "%d %d", &num, &dims) == 2;
    for (int k = 0; ok && k < num; ++k) {
        float x = 0, y = 0, scale = 0, orient = 0;
        ok = std::fscanf(in, "%f %f %f %f", &x, &y, &scale, &orient) == 4;
        std::fprintf(out, "%4.2f, %4.2f, %4.3f, %4.4f", double{x}, double{y}, double{scale},
                     double{orient});
        for (int d = 0; ok && d < dims; ++d) {
            float fval = 0;
            ok = std::fscanf(in, "%f", &fval) == 1;
            std::fprintf(out, ", %3.0f", double{fval});
        }
        std::fputc('\n', out);
    }
    if (in != nullptr) std::fclose(in);
    if (out != nullptr) ok = std::fclose(out) == 0 && ok;
    return ok;
}

bool FeatsheetFiles(const char* in_name, const char* out_name) {
    std::FILE* in = std::fopen(in_name, "rb");
    std::FILE* out = std::fopen(out_name, "wb");
    bool ok = in != nullptr && out != nullptr;
    if (ok) {
        std::setvbuf(out, nullptr, _IONBF, 0);
        FileSource source(in);
        FileSink sink(out);
        KeyHeader header;
        ok = ConvertKeypoints(source, sink, &header) == ConvertStatus::ok;
    }
    if (in != nullptr) std::fclose(in);
    if (out != nullptr) ok = std::fclose(out) == 0 && ok;
    return ok;
}

void BM_PlainLoop(benchmark::State& state) {
    const Files& files = SharedFiles();
    for (auto _ : state) {
        if (!PlainLoop(files.in.c_str(), files.out.c_str())) state.SkipWithError("failed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(files.text.size()));
}

void BM_Featsheet(benchmark::State& state) {
    const Files& files = SharedFiles();
    for (auto _ : state) {
        if (!FeatsheetFiles(files.in.c_str(), files.out.c_str())) state.SkipWithError("failed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(files.text.size()));
}

void BM_FeatsheetCore(benchmark::State& state) {
    const Files& files = SharedFiles();
    for (auto _ : state) {
        BufferSource source(files.text);
        StringSink sink;
        KeyHeader header;
        if (ConvertKeypoints(source, sink, &header) != ConvertStatus::ok) {
            state.SkipWithError("failed");
        }
        benchmark::DoNotOptimize(sink.text.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(files.text.size()));
}

BENCHMARK(BM_PlainLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Featsheet)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FeatsheetCore)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace featsheet

BENCHMARK_MAIN();
