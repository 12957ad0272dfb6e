// One pair as `orient` runs it: the keypoints matched, the orientation estimated and
// adjusted, the warnings about the inputs appended. `orient` and `orient-block` both call
// it, so that a pair gives the same result from both.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "image/image_header.h"
#include "pair_run/input_files.h"
#include "pair_run/run_info.h"
#include "robust_orientation/result.h"
#include "robust_orientation/tie_points.h"

namespace pair_run {

struct PairOrientation {
    ro::OrientationResult result;
    // The last this many warnings of the result are about the inputs (InputWarnings).
    std::size_t input_warnings = 0;
    // The tie points estimated from, in the order of result.points (their keypoint numbers:
    // key1, key2).
    std::vector<ro::TiePoint> tie_points;
};

// Orients the pair of `first` and `second`, whose descriptor lengths agree
// (DescriptorMismatch). `run` holds the files, cameras and settings; OrientPair fills in
// the keypoint counts and the descriptor length. `image1` (nullptr: none) is the photograph
// under orient's plot, checked against the keypoints of `first`. Matching and the robust
// loop use `run.threads` threads; the result is the same for every count.
PairOrientation OrientPair(const KeypointFile& first, const KeypointFile& second, RunInfo& run,
                           const std::string& image1_file = {},
                           const image::ImageHeader* image1 = nullptr);

// Orients a pair from tie points measured elsewhere (another matcher, a manual measurement):
// no matching and no warnings about keypoints; the estimation and adjustment are OrientPair's.
// Sets run.tie_points; run.tie_points_file names their file (empty: from memory).
PairOrientation OrientTiePoints(const std::vector<ro::TiePoint>& tie_points, RunInfo& run);

}  // namespace pair_run
