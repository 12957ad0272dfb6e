// The robust loop of the relative orientation: LO-RANSAC (lo_ransac.h) over five-point
// hypotheses.
//
// Every sample of five distinct tie points gives up to ten essential matrices and their
// poses that put the sample in front of both cameras. A tie point is an inlier of a pose when
// its Sampson error in pixels is below the threshold and it lies in front of both cameras
// under the pose. Local optimisation refits the essential matrix linearly on the inliers,
// each weighted by its Sampson gradient.
//
// Stopping: the loop stops by the confidence rule of lo_ransac.h, after at least the
// minimum of iterations; where the data are weak it goes on to the careful floor
// (RansacOptions::careful_min_iterations, 1000), the data being weak when, as the loop
// would first stop, the best pose has fewer than kCarefulInliers inliers, or another pose
// that differs from it (kCandidateMinAngleRad) scores within kCandidateMaxCostIncrease
// sigma^2 of it, or a homography explains more than kPlanarInlierRatio of its inliers
// (planarity.h): then a hundred samples are too few to find the same best pose for every
// seed.
//
// Candidates: after the loop, the best pose and the best-scoring runners-up that differ from
// it and from each other by more than kCandidateMinAngleRad in rotation or in base
// direction and score (after local optimisation) within kCandidateMaxCostIncrease sigma^2 of
// it, at most kMaxCandidates in all, for the adjustment to choose from (candidates.h).
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
    bool careful = false;  // the data were weak: the loop went on to the careful floor
    // The best pose first, then the distinct runners-up by ascending score (see above).
    std::vector<Scored<CvPose>> candidates;
};

inline constexpr int kCarefulInliers = 100;
// Models this much above the best score (sigma^2 units) are kept as runners-up: a few
// points' worth (the threshold is 4 sigma, 16 sigma^2 a point), because a runner-up from the
// loop, adjusted, may still come out better than the adjusted best.
inline constexpr double kCandidateMaxCostIncrease = 80.0;
inline constexpr double kCandidateMinAngleRad = 0.5 * common::kRadiansPerDegree;
inline constexpr std::size_t kMaxCandidates = 4;

// Whether two poses are the same candidate: rotations and base directions both within
// kCandidateMinAngleRad.
bool SameCandidate(const CvPose& a, const CvPose& b);

RansacResult FindRelativePose(const CoplanarityModel& model,
                              std::span<const Observation> observations,
                              const EstimationOptions& options);

}  // namespace ro
