// Tie points from two keypoint lists: exact nearest / second-nearest matching with a
// distance-ratio test, as `relative` matches, optionally kept only when mutual, on several
// threads with the same result for every thread count.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "tie_points.h"
#include "utils.h"

namespace ro {

// The ratio of the test d1 < ratio * d2 as an exact fraction, so that 0.6 applies exactly
// as `relative` applies it (5 d1 < 3 d2).
struct DistanceRatio {
    std::int64_t numerator = 3;
    std::int64_t denominator = 5;
    double Value() const {
        return static_cast<double>(numerator) / static_cast<double>(denominator);
    }
};

// A decimal in (0, 1] with at most 9 digits after the point ("0.6", "0.75", "1"), or nullopt.
std::optional<DistanceRatio> ParseDistanceRatio(std::string_view text);

struct MatchOptions {
    DistanceRatio ratio;
    bool mutual = false;  // keep a match only when keypoint 1 is also the nearest of keypoint 2
    int threads = 1;
};

// The tie points in the order of keys1. Descriptors shorter than `dims` read as padded with
// zeros, as in `relative`.
std::vector<TiePoint> MatchKeypoints(const KeypointList& keys1, const KeypointList& keys2, int dims,
                                     const MatchOptions& options);

}  // namespace ro
