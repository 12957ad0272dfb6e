#include "testing/sigma_honesty.h"

#include <Eigen/Dense>
#include <Eigen/Geometry>
#include <cmath>

#include "robust_orientation/estimate.h"
#include "testing/orient_scene.h"

namespace test_support {
namespace {

std::array<double, 5> PoseZ(const ro::OrientationResult& r, const ro::Elements& truth,
                            bool turned) {
    ro::Orientation want = ro::OrientationFromElements(truth);
    if (turned) want = scene::TurnedByQuarter(want);
    const Eigen::AngleAxisd turn(r.orientation.attitude * want.attitude.transpose());
    const Eigen::Vector3d rotation_error = turn.angle() * turn.axis();
    const Eigen::Vector3d base_error = r.orientation.base - want.base;
    std::array<double, 5> z{};
    for (int k = 0; k < 3; ++k) z[k] = rotation_error(k) / r.precision.rotation_sigma_rad[k];
    // Along its main axis the unit base is constant to first order: the two others.
    Eigen::Index main = 0;
    want.base.cwiseAbs().maxCoeff(&main);
    int slot = 3;
    for (int k = 0; k < 3; ++k) {
        if (k != main) z[slot++] = base_error(k) / r.precision.base_sigma[k];
    }
    return z;
}

}  // namespace

HonestyTally CheckHonesty(const HonestyRun& run) {
    HonestyTally tally;
    for (int s = 0; s < run.scenes; ++s) {
        const ro::Elements truth = scene::RandomElements(run.truth_seed + s, run.kappa_max_rad,
                                                         run.tilt_max_rad, run.base_max);
        const scene::OrientScene sc = scene::MakeOrientScene(
            truth, scene::OrientSceneOptions(run.points, run.scene_seed + s));
        const ro::OrientationResult r = ro::EstimateOrientation(
            run.base_across ? scene::TurnedByQuarter(sc.tie_points, sc.camera1) : sc.tie_points,
            sc.camera1, sc.camera2, {});
        if (r.outcome != ro::Outcome::oriented) {
            tally.failures.push_back({s, r.reason});
            continue;
        }
        tally.pose_z.push_back(PoseZ(r, truth, run.base_across));
        if (!r.precision.elements_defined) continue;
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

double RmsZ(const std::vector<std::array<double, 5>>& z, int k) {
    double sum_sq = 0.0;
    for (const auto& one : z) sum_sq += one[k] * one[k];
    return std::sqrt(sum_sq / static_cast<double>(z.size()));
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
