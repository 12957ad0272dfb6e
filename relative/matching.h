// Matching as `relative` runs it, beyond the fixed functions (Dist, CheckForMatch,
// FindMatches, listToArray in utils.h): the ratio 0.6, the match array, and the plain and
// fast matchers that fill it. The search itself is the keypoints library's
// (keypoints/matching.h, keypoints/fast_matcher.h). utils.h includes this header.
#pragma once

#include <array>
#include <vector>

#include "keypoints/fast_matcher.h"
#include "keypoints/matching.h"

// The match array: one row (row1, col1, row2, col2) per accepted keypoint of the first
// list, in the order of that list.
using MatchRow = std::array<float, 4>;
using MatchArray = std::vector<MatchRow>;

namespace relative {

// The ratio test accepts the nearest candidate when dist1 < 3/5 * dist2, evaluated
// exactly in integers as 5 * dist1 < 3 * dist2. The driver prints the ratio as 0.6.
inline constexpr keypoints::DistanceRatio kRatio{3, 5};

// The plain reference matcher (matching.cpp): every pair through Dist. The fast
// matcher, which FindMatches runs, is tested against it.
MatchArray FindMatchesReference(const keypoints::KeypointList& keys1,
                                const keypoints::KeypointList& keys2, int dims, int* numMatches);

// The match array of keys1 against keys2 with the fast matcher, identical to
// FindMatchesReference; stores the number of rows in *numMatches.
MatchArray FindMatchesFast(const keypoints::KeypointList& keys1,
                           const keypoints::KeypointList& keys2, int dims, int* numMatches,
                           keypoints::MatchKernel kernel = keypoints::MatchKernel::automatic);

}  // namespace relative
