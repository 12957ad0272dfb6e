// Are the stated standard deviations honest? Orients many random synthetic scenes with
// clean matches and known truth and prints, per element, the standard deviation of the
// normalised errors z = (estimate - truth) / stated sigma (1 when honest; slightly above 1
// for small redundancy) and the share of |z| <= 3 (99.7 % for a normal distribution), with
// the mean NEES (5 expected), the mean sigma0 and the rate of false alarms of the w-test.
//
//   bench_honesty [scenes]     default 1000
#include <Eigen/Dense>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

#include "robust_orientation/estimate.h"
#include "testing/orient_scene.h"

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;
constexpr std::array<const char*, 5> kNames = {"by", "bz", "omega", "phi", "kappa"};

struct Tally {
    std::vector<std::array<double, 5>> z;
    double nees = 0.0;
    double sigma0 = 0.0;
    long points = 0;
    long snooped = 0;
    int failed = 0;
};

void Run(int scenes, double kappa_max, const char* label) {
    Tally t;
    for (int s = 0; s < scenes; ++s) {
        const ro::Elements truth = scene::RandomElements(1000 + s, kappa_max, 10 * kDeg, 0.1);
        const scene::OrientScene sc =
            scene::MakeOrientScene(truth, scene::OrientSceneOptions(100, 5000 + s));
        const ro::OrientationResult r =
            ro::EstimateOrientation(sc.tie_points, sc.camera1, sc.camera2, {});
        if (r.outcome != ro::Outcome::oriented) {
            ++t.failed;
            continue;
        }
        const auto est = r.elements.AsArray();
        const auto tru = truth.AsArray();
        Eigen::Matrix<double, 5, 1> e;
        std::array<double, 5> z{};
        for (int k = 0; k < 5; ++k) {
            double diff = est[k] - tru[k];
            if (k >= 2) diff = std::remainder(diff, 2.0 * std::numbers::pi);
            e(k) = diff;
            z[k] = diff / r.precision.sigma[k];
        }
        t.z.push_back(z);
        t.nees += e.dot(r.precision.covariance.ldlt().solve(e));
        t.sigma0 += r.adjustment.sigma0_px;
        t.points += r.adjustment.points_used + r.adjustment.rejected;
        t.snooped += r.adjustment.rejected;
    }
    const double n = static_cast<double>(t.z.size());
    std::printf("%s: %d scenes of 100 clean tie points, sigma 0.5 px (%d not oriented)\n", label,
                scenes, t.failed);
    std::printf("  element  std(z)   |z|<=3\n");
    for (int k = 0; k < 5; ++k) {
        double sum = 0.0;
        double sum_sq = 0.0;
        int within = 0;
        for (const auto& z : t.z) {
            sum += z[k];
            sum_sq += z[k] * z[k];
            within += std::fabs(z[k]) <= 3.0 ? 1 : 0;
        }
        const double mean = sum / n;
        std::printf("  %-7s  %.3f    %.2f %%\n", kNames[k], std::sqrt(sum_sq / n - mean * mean),
                    100.0 * within / n);
    }
    std::printf(
        "  mean NEES %.2f (5 expected), mean sigma0 %.3f px, w-test false alarms %.3f %%\n\n",
        t.nees / n, t.sigma0 / n, 100.0 * static_cast<double>(t.snooped) / t.points);
}

}  // namespace

int main(int argc, char** argv) {
    const int scenes = argc > 1 && argv[1][0] != '-' ? std::atoi(argv[1]) : 1000;
    Run(scenes, 5 * kDeg, "aerial, kappa within 5 deg");
    Run(scenes, std::numbers::pi, "kappa anywhere in +-180 deg");
    return 0;
}
