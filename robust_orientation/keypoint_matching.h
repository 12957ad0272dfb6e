// Tie points from two keypoint lists: the matches of the keypoints library (exact nearest /
// second-nearest matching with a distance-ratio test, optionally mutual, the same for every
// thread count) with the positions of their keypoints.
#pragma once

#include <span>
#include <vector>

#include "keypoints/matching.h"
#include "robust_orientation/tie_points.h"

namespace ro {

// The tie points of `matches` between keys1 and keys2, in the order of the matches.
std::vector<TiePoint> TiePointsFromMatches(const keypoints::KeypointList& keys1,
                                           const keypoints::KeypointList& keys2,
                                           std::span<const keypoints::Match> matches);

// Matches keys1 against keys2 and returns the tie points in the order of keys1.
// Descriptors shorter than `dims` read as padded with zeros, as in `relative`.
std::vector<TiePoint> MatchKeypoints(const keypoints::KeypointList& keys1,
                                     const keypoints::KeypointList& keys2, int dims,
                                     const keypoints::MatchOptions& options);

}  // namespace ro
