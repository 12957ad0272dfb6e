#include "testing/sigma_honesty.h"

#include <Eigen/Dense>
#include <cmath>

#include "robust_orientation/estimate.h"
#include "testing/orient_scene.h"

namespace test_support {

HonestyTally CheckHonesty(const HonestyRun& run) {
    HonestyTally tally;
    for (int s = 0; s < run.scenes; ++s) {
        const ro::Elements truth = scene::RandomElements(run.truth_seed + s, run.kappa_max_rad,
                                                         run.tilt_max_rad, run.base_max);
        const scene::OrientScene sc = scene::MakeOrientScene(
            truth, scene::OrientSceneOptions(run.points, run.scene_seed + s));
        const ro::OrientationResult r =
            ro::EstimateOrientation(sc.tie_points, sc.camera1, sc.camera2, {});
        if (r.outcome != ro::Outcome::oriented) {
            tally.failures.push_back({s, r.reason});
            continue;
        }
        const std::array<double, 5> estimate = r.elements.AsArray();
        const std::array<double, 5> true_values = truth.AsArray();
        Eigen::Matrix<double, 5, 1> error;
        std::array<double, 5> z{};
        for (int k = 0; k < 5; ++k) {
            double diff = estimate[k] - true_values[k];
            // The three angles: the error the nearest way round.
            if (k >= 2) diff = std::remainder(diff, 2.0 * std::numbers::pi);
            error(k) = diff;
            z[k] = diff / r.precision.sigma[k];
        }
        tally.z.push_back(z);
        tally.nees_sum += error.dot(r.precision.covariance.ldlt().solve(error));
        tally.sigma0_sum_px += r.adjustment.sigma0_px;
        tally.points += r.adjustment.points_used + r.adjustment.rejected;
        tally.snooped += r.adjustment.rejected;
    }
    return tally;
}

double RmsZ(const HonestyTally& tally, int k) {
    double sum_sq = 0.0;
    for (const auto& z : tally.z) sum_sq += z[k] * z[k];
    return std::sqrt(sum_sq / static_cast<double>(tally.z.size()));
}

double StdZ(const HonestyTally& tally, int k) {
    double sum = 0.0;
    double sum_sq = 0.0;
    for (const auto& z : tally.z) {
        sum += z[k];
        sum_sq += z[k] * z[k];
    }
    const double n = static_cast<double>(tally.z.size());
    const double mean = sum / n;
    return std::sqrt(sum_sq / n - mean * mean);
}

int CountWithin(const HonestyTally& tally, int k, double bound) {
    int within = 0;
    for (const auto& z : tally.z) within += std::fabs(z[k]) <= bound ? 1 : 0;
    return within;
}

}  // namespace test_support
