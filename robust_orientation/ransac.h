// The robust loop of the relative orientation: LO-RANSAC (lo_ransac.h) over five-point
// hypotheses.
//
// Every sample of five distinct tie points gives up to ten essential matrices and their
// poses that put the sample in front of both cameras. A tie point is an inlier of a pose when
// its Sampson error in pixels is below the threshold and it lies in front of both cameras
// under the pose. Local optimisation refits the essential matrix linearly on the inliers,
// each weighted by its Sampson gradient. After the loop, a second solution is looked for
// among the runners-up: a pose whose rotation differs from the best one's by more than
// kSecondSolutionMinAngleRad and whose score (after local optimisation) exceeds the best
// one's by at most kSecondSolutionMaxCostIncrease sigma^2, a difference that noise alone
// could make.
#pragma once

#include <span>
#include <vector>

#include "common/angles.h"
#include "robust_orientation/elements.h"
#include "robust_orientation/lo_ransac.h"
#include "robust_orientation/observations.h"
#include "robust_orientation/options.h"

namespace ro {

enum class RansacStatus {
    found,
    too_few_points,  // fewer tie points with finite positions than a sample needs
    no_model,        // no sample gave a model
};

struct RansacResult {
    RansacStatus status = RansacStatus::too_few_points;
    Scored<CvPose> best;       // score in squared pixels
    std::vector<int> inliers;  // observation numbers, ascending
    int iterations = 0;
    int local_optimisations = 0;
    bool second_found = false;
    Scored<CvPose> second;
};

// The 99.9 % quantile of chi-square with 5 degrees of freedom.
inline constexpr double kSecondSolutionMaxCostIncrease = 20.52;
inline constexpr double kSecondSolutionMinAngleRad = 1.0 * common::kRadiansPerDegree;

RansacResult FindRelativePose(const CoplanarityModel& model,
                              std::span<const Observation> observations,
                              const EstimationOptions& options);

}  // namespace ro
