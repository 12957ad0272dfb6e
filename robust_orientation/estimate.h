// The robust relative orientation of two photographs from their tie points: hypotheses
// from a five-point solver (no start value), a LO-RANSAC loop on the Sampson error, a
// least-squares adjustment of the five elements with data snooping, precision, reliability
// and geometry checks. Knows nothing of files or the command line.
#pragma once

#include <cstdint>
#include <span>

#include "camera/camera_model.h"
#include "robust_orientation/result.h"
#include "robust_orientation/tie_points.h"

namespace ro {

inline constexpr std::uint64_t kDefaultSeed = 42;

// The robust loop's default threshold in a-priori sigmas: wide enough that a clean point
// is rarely cut off by the loop (0.006 % beyond 4 sigma), so that data snooping, not the
// threshold, decides about the points between 3 and 4 sigma.
inline constexpr double kThresholdSigmas = 4.0;

struct EstimationOptions {
    double sigma_px = 0.5;  // a-priori precision of one image coordinate
    double threshold_px =
        0.0;  // robust loop's Sampson-error threshold; 0: kThresholdSigmas sigma_px
    double confidence = 0.9999;  // stop when an all-inlier sample was drawn this surely
    int min_iterations = 100;
    int max_iterations = 10000;
    std::uint64_t seed = kDefaultSeed;
    double critical_w = 3.29;  // data snooping: alpha0 = 0.1 %, two-sided
    int threads = 1;           // threads of the robust loop; the result is the same for any
};

// The threshold the robust loop uses for `options`.
double EffectiveThresholdPx(const EstimationOptions& options);

// Why options cannot be used (empty when they can): non-positive sigma or threshold, a
// confidence outside (0, 1), iteration limits out of order.
std::string CheckOptions(const EstimationOptions& options);

// Orients photograph 2 relative to photograph 1. The same tie points, cameras and options
// always give the same result, bit for bit. Never throws on bad data (non-finite or
// duplicate positions, too few points): the outcome says why no orientation was found.
OrientationResult EstimateOrientation(std::span<const TiePoint> tie_points, const Camera& camera1,
                                      const Camera& camera2, const EstimationOptions& options);

}  // namespace ro
