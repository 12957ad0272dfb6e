// Detection on a photograph reduced in size, with the keypoints in the photograph's pixels.
//
// The detector's cost grows with the pixels of the image it works on (it enlarges that
// image twice first), so a large photograph is detected on a copy whose long side is
// limited (DetectionSize), made by area averaging, and the keypoints are mapped back.
#pragma once

#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

#include "siftkey/detector.h"

namespace siftkey {

// Moves keypoints found on an image of `reduced` size, made from one of `full` size by
// cv::resize, into the pixels of the full image. The reduction maps the full image's
// extent onto the reduced one's, so with the factors s = full / reduced of each axis (pixel
// centres at whole numbers) a position p becomes (p + 0.5) s - 0.5; the scale is multiplied
// by the mean of the two factors. Orientations and descriptors are kept.
void ScaleToFullImage(cv::Size reduced, cv::Size full, std::vector<SiftKeypoint>* keys);

// DetectKeypoints on `grey` reduced (cv::INTER_AREA) to DetectionSize(cols, rows,
// max_side), the keypoints in pixels of `grey`; on `grey` itself, exactly as
// DetectKeypoints, when it is not larger than that. Throws as DetectKeypoints.
std::vector<SiftKeypoint> DetectKeypointsAtMostSide(const cv::Mat& grey,
                                                    const DetectorOptions& options,
                                                    std::uint64_t max_side);

}  // namespace siftkey
