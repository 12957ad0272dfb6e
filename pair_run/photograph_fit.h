// Whether the photographs behind the keypoint files fit what orient was told about them:
// the built-in camera's frame when no camera file was given, and the size of the --image1
// photograph. A keypoint file states no image size, so the largest column and row of its
// keypoints stand for it: the photograph is at least that large.
#pragma once

#include <string>
#include <vector>

#include "image/image_header.h"
#include "pair_run/input_files.h"
#include "pair_run/run_info.h"
#include "robust_orientation/result.h"

namespace pair_run {

inline constexpr char kBuiltInCameraCode[] = "W-BUILTIN-CAMERA";
inline constexpr char kImage1SizeCode[] = "W-IMAGE1-SIZE";

// Keypoints that reach less than this share of the built-in camera's frame in a direction
// come from photographs of another size.
inline constexpr double kBuiltInFrameShare = 0.75;

// The warnings about the inputs: W-BUILTIN-CAMERA when a photograph taken with the built-in
// camera has keypoints beyond its frame or filling less than kBuiltInFrameShare of it in a
// direction; W-IMAGE1-SIZE when `image1` (nullptr: none) is smaller than the keypoints of
// file 1 reach, or they reach less than half of it in both directions. The messages name
// both sizes.
std::vector<ro::Warning> InputWarnings(const RunInfo& run, const KeypointFile& first,
                                       const KeypointFile& second, const std::string& image1_file,
                                       const image::ImageHeader* image1);

}  // namespace pair_run
