// The match report: for every accepted keypoint of the first list, one line with its
// 1-based position and properties, then position, properties and distance of its nearest
// and of its second-nearest keypoint in the second list:
//
//   pos col row scale ori  pos col row scale ori dist1  pos col row scale ori dist2
//
// (17 blank-separated fields; column before row). Where the second list has no
// second-nearest keypoint, its group reads "-1 0.00 0.00 0.000 0.0000".
#pragma once

#include <cstdio>

#include "keypoints/keypoint.h"
#include "keypoints/matching.h"

namespace keypoints {

// Writes one line per keypoint of keys1 that passes the ratio test against keys2 to `out`
// and returns the number of lines, or -1 when writing failed.
int WriteMatchReport(std::FILE* out, const KeypointList& keys1, const KeypointList& keys2, int dims,
                     const DistanceRatio& ratio = {});

}  // namespace keypoints
