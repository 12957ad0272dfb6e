// Descriptor matching: the integer descriptor distance, the nearest / second-nearest
// search, the distance-ratio test and the matches of two keypoint lists.
//
// A keypoint of the first list is matched to its nearest keypoint of the second when the
// nearest distance is below `ratio` times the second-nearest, strictly, so that an exact
// tie is never a match. Distances are the integer part of the Euclidean distance.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "keypoints/keypoint.h"

namespace keypoints {

// The ratio of the test d1 < ratio * d2 as an exact fraction, so that 0.6 applies exactly
// (5 d1 < 3 d2) whatever the rounding of 0.6 as a double.
struct DistanceRatio {
    std::int64_t numerator = 3;
    std::int64_t denominator = 5;
    double Value() const {
        return static_cast<double>(numerator) / static_cast<double>(denominator);
    }
};

// A decimal in (0, 1] with at most 9 digits after the point ("0.6", "0.75", "1"), or nullopt.
std::optional<DistanceRatio> ParseDistanceRatio(std::string_view text);

// d1 < ratio * d2, exactly: distances are below 2^31 and both terms of the fraction at most
// 10^9, so the products fit in 64 bits. A tie for the nearest place (d1 == d2) never passes.
inline bool PassesRatio(int dist1, int dist2, const DistanceRatio& ratio) {
    return ratio.denominator * static_cast<std::int64_t>(dist1) <
           ratio.numerator * static_cast<std::int64_t>(dist2);
}

// Starting value of the nearest and second-nearest distances: a candidate not yet seen.
// The matching kernels keep a copy (kernels/kernel_api.h), checked equal in fast_matcher.cpp.
inline constexpr int kNoCandidateDistance = 1000000000;

// Integer part of the Euclidean distance between the first `dims` values of two
// descriptors. The sum of squares is accumulated exactly in wide integers; a distance too
// large for int saturates at INT_MAX.
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

// The plain search: every candidate through DescriptorDistance. The fast matcher
// (fast_matcher.h) gives the same answers and is tested against it.
NeighbourPair FindNeighbours(const KeypointSt& key, const KeypointList& klist, int dims);

struct MatchOptions {
    DistanceRatio ratio;
    bool mutual = false;  // keep a match only when keypoint 1 is also the nearest of keypoint 2
    int threads = 1;      // the result is the same for every count
};

// One accepted match: 0-based keypoint numbers in both lists (the nearest and, -1 when the
// second list had one keypoint, the second-nearest) and the two distances.
struct Match {
    int key1 = -1;
    int key2 = -1;
    int second = -1;
    int dist1 = 0;
    int dist2 = kNoCandidateDistance;

    // dist1 / dist2, NaN when there was no second candidate or dist2 is 0.
    double Ratio() const;

    bool operator==(const Match&) const = default;
};

// The matches of keys1 against keys2 with the fast matcher, in the order of keys1.
// Descriptors shorter than `dims` read as padded with zeros.
std::vector<Match> MatchKeypoints(const KeypointList& keys1, const KeypointList& keys2, int dims,
                                  const MatchOptions& options);

}  // namespace keypoints
