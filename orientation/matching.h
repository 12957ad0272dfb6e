// Descriptor matching beyond the fixed functions (Dist, CheckForMatch, FindMatches,
// listToArray in utils.h): the ratio rule, the neighbour search, the match array, the
// plain reference matcher and the match report writer. utils.h includes this header;
// include utils.h.
#pragma once

#include <array>
#include <cstdio>
#include <vector>

#include "keypoint_file.h"

// The ratio test accepts the nearest candidate when dist1 < 3/5 * dist2, evaluated
// exactly in integers as 5 * dist1 < 3 * dist2. The driver prints the ratio as 0.6.
inline constexpr int kRatioNumerator = 3;
inline constexpr int kRatioDenominator = 5;
inline constexpr double kRatio = static_cast<double>(kRatioNumerator) / kRatioDenominator;

// A tie for the nearest place (dist1 == dist2) is always rejected.
inline bool PassesRatioTest(int dist1, int dist2) {
    return kRatioDenominator * static_cast<long long>(dist1) <
           kRatioNumerator * static_cast<long long>(dist2);
}

// Starting value of the nearest and second-nearest distances: a candidate not yet seen.
// The matching kernels keep a copy (kernels/kernel_api.h), checked equal in fast_matcher.cpp.
inline constexpr int kNoCandidateDistance = 1000000000;

// Integer part of the Euclidean distance between the first `dims` values of two
// descriptors. The sum of squares is accumulated exactly in wide integers; a distance too
// large for int saturates at INT_MAX. What Dist computes for two keypoints.
int DescriptorDistance(const int* a, const int* b, int dims);

// The nearest and second-nearest keypoints of one keypoint in a candidate list, with
// strict comparisons: of equally near candidates the earliest stays the nearest.
// Indices are 0-based positions in the candidate list, -1 where there is none.
struct NeighbourPair {
    int nearest = -1;
    int dist1 = kNoCandidateDistance;
    int second = -1;
    int dist2 = kNoCandidateDistance;
};
NeighbourPair FindNeighbours(const KeypointSt& key, const KeypointList& klist, int dims);

// The match array: one row (row1, col1, row2, col2) per accepted keypoint of the first
// list, in the order of that list.
using MatchRow = std::array<float, 4>;
using MatchArray = std::vector<MatchRow>;

// The plain reference matcher (reference_matcher.cpp): every pair through Dist. The fast
// matcher (fast_matcher.h), which FindMatches runs, is tested against it.
MatchArray FindMatchesReference(const KeypointList& keys1, const KeypointList& keys2, int dims,
                                int* numMatches);

// Writes one line per accepted keypoint of keys1 to `out` (the match report format) and
// returns the number of lines, or -1 when writing failed.
int WriteMatchReport(std::FILE* out, const KeypointList& keys1, const KeypointList& keys2,
                     int dims);
