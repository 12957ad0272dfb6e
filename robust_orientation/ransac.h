// The robust loop: LO-RANSAC over five-point hypotheses.
//
// Every sample of five distinct tie points gives up to ten essential matrices and their
// poses that put the sample in front of both cameras; every pose is scored on all tie
// points with the truncated (MSAC) score: a point adds its squared Sampson error in pixels
// when that is below the squared threshold and the point lies in front of both cameras
// under the pose, the squared threshold otherwise. Whenever a sample's model beats the best
// score or inlier count so far, it is refined by local optimisation (Sampson-weighted linear
// refits on its inliers), and the better of the two is kept. The loop stops when an
// all-inlier sample has been drawn with the stated confidence (the exact probability of
// drawing five inliers without replacement), within the minimum and maximum number of
// iterations. The samples come from the loop's own generator seeded with the seed alone.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "robust_orientation/elements.h"
#include "robust_orientation/observations.h"

namespace ro {

struct RansacSettings {
    double threshold_px = 1.5;
    double sigma_px = 0.5;  // a-priori sigma of an image coordinate, for the second-solution test
    double confidence = 0.9999;
    int min_iterations = 100;
    int max_iterations = 10000;
    std::uint64_t seed = 0;
    int threads = 1;  // threads that solve and score samples; the result is the same for any
};

struct RansacModel {
    CvPose pose;
    double score = 0.0;  // MSAC score, squared pixels
    int inliers = 0;
};

struct RansacResult {
    bool found = false;
    RansacModel best;
    std::vector<char> inlier;  // per observation
    int iterations = 0;
    int local_optimisations = 0;
    int candidates = 0;  // observations with finite positions
    // The best-scoring model whose rotation differs from the best one's by more than
    // kSecondSolutionMinAngleRad and whose score (after local optimisation) exceeds the
    // best one's by at most kSecondSolutionMaxCostIncrease sigma^2: a difference that noise
    // alone could make.
    bool second_found = false;
    RansacModel second;
};

// The 99.9 % quantile of chi-square with 5 degrees of freedom.
inline constexpr double kSecondSolutionMaxCostIncrease = 20.52;
inline constexpr double kSecondSolutionMinAngleRad = 0.017453292519943295;  // 1 degree

RansacResult FindRelativePose(const CoplanarityModel& model,
                              std::span<const Observation> observations,
                              const RansacSettings& settings);

// The iterations needed to draw, with probability `confidence`, one sample of `sample_size`
// inliers out of `inliers` among `total` points, without replacement.
double IterationsNeeded(int inliers, int total, int sample_size, double confidence);

}  // namespace ro
