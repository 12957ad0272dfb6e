// The robust loop plus the adjustment (EstimateOrientation) on synthetic aerial scenes with
// gross false matches; the robust loop alone in the same run, for the share of each part.
// The last argument 1 photographs the scene through a distorting camera (k1 = 0.2,
// p1 = 0.001): the pixel-to-plane map undoes the distortion and every residual is
// normalised with its point's metric.
#include <benchmark/benchmark.h>

#include <numbers>

#include "robust_orientation/estimate.h"
#include "robust_orientation/observations.h"
#include "robust_orientation/ransac.h"
#include "testing/orient_scene.h"

namespace {

scene::OrientScene Scene(int points, double outliers, bool distorted) {
    const ro::Elements truth{0.03, -0.02, 0.02, -0.03, 0.7};
    scene::SceneOptions options = scene::OrientSceneOptions(points, 11);
    options.outlier_fraction = outliers;
    if (distorted) {
        options.camera.k1 = 0.2;
        options.camera.p1 = 0.001;
    }
    return scene::MakeOrientScene(truth, options);
}

void BM_Estimate(benchmark::State& state) {
    const scene::OrientScene s =
        Scene(static_cast<int>(state.range(0)), state.range(1) / 100.0, state.range(3) != 0);
    ro::EstimationOptions options;
    options.threads = static_cast<int>(state.range(2));
    int inliers = 0;
    for (auto _ : state) {
        const ro::OrientationResult r =
            ro::EstimateOrientation(s.tie_points, s.camera1, s.camera2, options);
        inliers = r.adjustment.points_used;
        benchmark::DoNotOptimize(r);
    }
    state.counters["inliers"] = inliers;
}
BENCHMARK(BM_Estimate)
    ->Args({500, 30, 1, 0})
    ->Args({2000, 50, 1, 0})
    ->Args({3000, 20, 1, 0})
    ->Args({3000, 20, 2, 0})
    ->Args({5000, 20, 1, 0})
    ->Args({5000, 20, 1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_RobustLoop(benchmark::State& state) {
    const scene::OrientScene s =
        Scene(static_cast<int>(state.range(0)), state.range(1) / 100.0, state.range(2) != 0);
    const std::vector<ro::Observation> observations =
        ro::ToObservations(s.tie_points, s.camera1, s.camera2);
    const ro::CoplanarityModel model(s.camera1, s.camera2);
    const ro::EstimationOptions options;
    int iterations = 0;
    for (auto _ : state) {
        const ro::RansacResult r = ro::FindRelativePose(model, observations, options);
        iterations = r.iterations;
        benchmark::DoNotOptimize(r);
    }
    state.counters["iterations"] = iterations;
}
BENCHMARK(BM_RobustLoop)
    ->Args({500, 30, 0})
    ->Args({2000, 50, 0})
    ->Args({3000, 20, 0})
    ->Args({5000, 20, 0})
    ->Args({5000, 20, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
