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
// minimum of iterations (100). Where the data are weak it goes on to the careful floor
// (RansacOptions::careful_min_iterations, 1000): when, as the loop would first stop, the
// best pose has fewer than kCarefulInliers inliers, or the runners-up so far hold a
// candidate (below) turned more than kCompetitorMinRotationRad from it, or a homography explains
// more than kPlanarInlierRatio of the best pose's inliers (planarity.h; its own fixed seed, so that
// the decision does not depend on the loop's). On such data a hundred samples found another best
// pose for almost every seed.
//
// Candidates: the best pose; on weak data also the runners-up by score that stay within
// kCandidateMaxCostIncrease sigma^2 of it and apart from every candidate before them
// (SameCandidate) when refined by local optimisation (a noisy copy moves onto the pose it
// copies, a competitor stays apart), at most kMaxCandidates; the adjustment chooses among
// them (candidates.h).
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

inline constexpr int kCarefulInliers = 50;

// Models this much above the best score (sigma^2 units) are kept as runners-up: twenty
// points' worth (the threshold is 4 sigma, 16 sigma^2 a point). The loop's unrefined poses
// score far above the minimum they lead to, and a runner-up of another minimum, adjusted,
// may still come out better than the adjusted best.
inline constexpr double kCandidateMaxCostIncrease = 320.0;
// Poses closer than this are one candidate. The base direction of a pose from the loop is
// much less certain than its rotation, hence the wider limit; two minima of the adjustment
// on real pairs lay 0.2 degrees apart in rotation.
inline constexpr double kCandidateMinRotationRad = 0.1 * common::kRadiansPerDegree;
inline constexpr double kCandidateMinBaseAngleRad = 0.5 * common::kRadiansPerDegree;
inline constexpr std::size_t kMaxCandidates = 32;
// A candidate turned this far from the best pose competes with it. Nearer ones are mostly
// copies of the best that local optimisation did not quite bring onto it (on clean scenes
// of a few hundred points, 0.4 degrees away and a pixel squared worse).
inline constexpr double kCompetitorMinRotationRad = 1.0 * common::kRadiansPerDegree;

// Whether two poses are the same candidate: rotations and base directions both within
// kCandidateMinRotationRad and kCandidateMinBaseAngleRad.
bool SameCandidate(const CvPose& a, const CvPose& b);

RansacResult FindRelativePose(const CoplanarityModel& model,
                              std::span<const Observation> observations,
                              const EstimationOptions& options);

}  // namespace ro
