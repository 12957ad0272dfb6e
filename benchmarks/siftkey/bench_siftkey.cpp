// siftkey's speed per megapixel and its scaling from one to two threads.
//
// The images are mosaics of the bundled real photographs (data/real/: the stereo pair and
// the street pair), each tile resized to 751 x 563 and every other one mirrored, so that
// the content stays that of real photographs at their own resolution:
//   2 x 2 tiles: 1502 x 1126 (1.7 MP)     4 x 4 tiles: 3004 x 2252 (6.8 MP)
// Contenders, each on 1 and 2 threads, in the same run:
//   BM_OpenCvSift  OpenCV's detectAndCompute alone: the baseline
//   BM_Siftkey     DetectKeypoints and FormatKeyFile: what siftkey does after decoding
//   BM_Decode      decoding the mosaic from JPEG and making it 8-bit grey
// Wall-clock time, and the CPU time of the whole process (all worker threads); the MP/s
// counter gives the wall-clock time per megapixel as its inverse. On a machine shared with
// other work the CPU column is the steadier one. Run with repetitions and compare the medians, e.g.
//   bench_siftkey --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <map>
#include <opencv2/features2d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "siftkey/detector.h"
#include "siftkey/grey_image.h"
#include "siftkey/key_writer.h"

namespace {

const cv::Size kTile(751, 563);

std::vector<cv::Mat> Photographs() {
    std::vector<cv::Mat> photos;
    for (const char* name :
         {"stereo/left.png", "stereo/right.png", "street/leuvenA.jpg", "street/leuvenB.jpg"}) {
        cv::Mat grey =
            cv::imread(std::string(RO_SOURCE_DIR "/data/real/") + name, cv::IMREAD_GRAYSCALE);
        if (grey.empty()) throw std::runtime_error(std::string("cannot read data/real/") + name);
        cv::resize(grey, grey, kTile, 0, 0, cv::INTER_LINEAR);
        photos.push_back(grey);
    }
    return photos;
}

// A mosaic of `tiles` x `tiles` photographs, 8-bit grey.
const cv::Mat& Mosaic(int tiles) {
    static std::map<int, cv::Mat> cache;
    cv::Mat& m = cache[tiles];
    if (m.empty()) {
        const std::vector<cv::Mat> photos = Photographs();
        m.create(kTile.height * tiles, kTile.width * tiles, CV_8U);
        for (int r = 0; r < tiles; ++r) {
            for (int c = 0; c < tiles; ++c) {
                const int i = r * tiles + c;
                cv::Mat tile = photos[static_cast<std::size_t>(i) % photos.size()];
                if ((i / photos.size()) % 2 == 1) cv::flip(tile, tile, 1);
                tile.copyTo(
                    m(cv::Rect(c * kTile.width, r * kTile.height, kTile.width, kTile.height)));
            }
        }
    }
    return m;
}

void SetCounters(benchmark::State& state, const cv::Mat& image, std::size_t keypoints) {
    const double megapixels = image.total() / 1e6;
    state.counters["MP/s"] =
        benchmark::Counter(megapixels, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["keypoints"] = static_cast<double>(keypoints);
}

void BM_OpenCvSift(benchmark::State& state) {
    const cv::Mat& image = Mosaic(static_cast<int>(state.range(0)));
    cv::setNumThreads(static_cast<int>(state.range(1)));
    cv::Ptr<cv::SIFT> sift = cv::SIFT::create();
    std::size_t count = 0;
    for (auto _ : state) {
        std::vector<cv::KeyPoint> kps;
        cv::Mat descriptors;
        sift->detectAndCompute(image, cv::noArray(), kps, descriptors);
        count = kps.size();
        benchmark::DoNotOptimize(descriptors.data);
    }
    SetCounters(state, image, count);
}

void BM_Siftkey(benchmark::State& state) {
    const cv::Mat& image = Mosaic(static_cast<int>(state.range(0)));
    cv::setNumThreads(static_cast<int>(state.range(1)));
    std::size_t count = 0;
    for (auto _ : state) {
        const std::vector<siftkey::SiftKeypoint> keys = siftkey::DetectKeypoints(image, {});
        const std::string text = siftkey::FormatKeyFile(keys);
        count = keys.size();
        benchmark::DoNotOptimize(text.data());
    }
    SetCounters(state, image, count);
}

void BM_Decode(benchmark::State& state) {
    const cv::Mat& image = Mosaic(static_cast<int>(state.range(0)));
    cv::setNumThreads(static_cast<int>(state.range(1)));
    std::vector<unsigned char> jpeg;
    cv::Mat colour;
    cv::cvtColor(image, colour, cv::COLOR_GRAY2BGR);
    cv::imencode(".jpg", colour, jpeg, {cv::IMWRITE_JPEG_QUALITY, 95});
    for (auto _ : state) {
        const cv::Mat decoded = cv::imdecode(jpeg, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR);
        std::string error;
        const cv::Mat grey = siftkey::ToGrey8(decoded, &error);
        benchmark::DoNotOptimize(grey.data);
    }
    SetCounters(state, image, 0);
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"tiles", "threads"});
    for (int tiles : {2, 4}) {
        for (int threads : {1, 2}) b->Args({tiles, threads});
    }
    b->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_OpenCvSift)->Apply(Sizes);
BENCHMARK(BM_Siftkey)->Apply(Sizes);
BENCHMARK(BM_Decode)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
