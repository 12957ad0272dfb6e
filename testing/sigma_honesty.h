// Are the stated standard deviations of orient's estimation honest? Orients many random
// synthetic scenes with clean matches (0.5 px noise) and known truth and collects, per
// element, the normalised errors z = (estimate - truth) / stated sigma, which follow a
// standard normal distribution when the sigmas are honest, together with the NEES, sigma0
// and the points that data snooping removed; the same for the rotation and the base
// direction, also on scenes turned so that the base runs along the rows. Shared by the
// estimation's test and bench_honesty.
#pragma once

#include <array>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "common/angles.h"

namespace test_support {

struct HonestyRun {
    int scenes = 0;
    int points = 0;  // tie points per scene
    double kappa_max_rad = std::numbers::pi;
    double tilt_max_rad = 10.0 * common::kRadiansPerDegree;  // omega and phi
    double base_max = 0.1;                                   // by and bz
    std::uint64_t truth_seed = 0;  // scene s has the random orientation of truth_seed + s ...
    unsigned scene_seed = 0;       // ... and the tie points of scene_seed + s
    bool base_across = false;      // every scene turned by 90 degrees (scene::TurnedByQuarter)
};

// A scene the estimation did not orient, and why.
struct HonestyFailure {
    int scene = 0;
    std::string reason;
};

struct HonestyTally {
    // Per oriented scene, per element (by, bz, omega, phi, kappa): z, angle errors wrapped
    // into (-pi, pi]; only where the elements are defined.
    std::vector<std::array<double, 5>> z;
    // Per oriented scene: z of the rotation error as a rotation vector (x, y, z) and of the
    // two components of the base direction across its main axis.
    std::vector<std::array<double, 5>> pose_z;
    std::vector<HonestyFailure> failures;
    double nees_sum = 0.0;       // e^T C^-1 e over the oriented scenes (5 expected per scene)
    double sigma0_sum_px = 0.0;  // sigma0 over the oriented scenes
    long points = 0;             // points of the last adjustments, before snooping
    long snooped = 0;            // of them, removed by data snooping
};

// Orients the scenes of `run` with the estimation's default options.
HonestyTally CheckHonesty(const HonestyRun& run);

// Over the oriented scenes, for element k: the root mean square of z (of `z`, that is
// tally.z or tally.pose_z), its standard deviation about its mean, and how many |z| are at
// most `bound`.
double RmsZ(const std::vector<std::array<double, 5>>& z, int k);
double StdZ(const HonestyTally& tally, int k);
int CountWithin(const HonestyTally& tally, int k, double bound);

}  // namespace test_support
