// SIFT keypoints of an 8-bit grey image, in the conventions of the keypoint text format.
//
// Conventions of every SiftKeypoint:
// - row_px grows downwards and col_px to the right, in pixels of the input image; the
//   centre of the top-left pixel is at (0, 0), so a pixel (row r, column c) covers
//   [r - 0.5, r + 0.5] x [c - 0.5, c + 0.5].
// - scale_px is the detector's sigma: the standard deviation, in input pixels, of the
//   Gaussian blur of the scale-space level on which the keypoint was found (the lower
//   level of its difference-of-Gaussians pair). A Gaussian blob of standard deviation s
//   is found at sigma s / 2^(1/6).
// - orientation_rad is the direction of the dominant intensity gradient around the
//   keypoint (towards brighter), in (-pi, pi], measured counter-clockwise as the image is
//   seen on screen: 0 points along increasing column (right), +pi/2 up (decreasing row).
//   Turning the image counter-clockwise on screen by a adds a to it.
// - descriptor holds the 128 values of the SIFT descriptor, rounded to whole numbers and
//   clamped to 0..255.
#pragma once

#include <array>
#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

#include "siftkey/detector_options.h"

namespace siftkey {

inline constexpr int kDescriptorLength = 128;

struct SiftKeypoint {
    float row_px = 0.0f;
    float col_px = 0.0f;
    float scale_px = 0.0f;
    float orientation_rad = 0.0f;
    float response = 0.0f;  // detector response (contrast); larger is stronger
    std::array<std::uint8_t, kDescriptorLength> descriptor{};
};

// Keypoints of `grey` (CV_8UC1), strongest first in the order of StrongerFirst, at most
// options.max_keypoints of them when that is positive. Throws cv::Exception or
// std::bad_alloc when the detector fails.
std::vector<SiftKeypoint> DetectKeypoints(const cv::Mat& grey, const DetectorOptions& options);

// --- Conversions from the detector's own conventions, exposed for the tests. ---

// The detector reports positions on a grid shifted by a quarter pixel: it works on the
// image enlarged twice (pixel centres of the enlarged image at half-pixel steps, the
// first a quarter pixel before the first input centre) and halves the enlarged
// coordinates. This is what it adds to the true row and column.
inline constexpr float kDetectorOffsetPx = 0.25f;

// Orientation in our convention from the detector's angle in degrees (measured
// clockwise on screen, i.e. from the column axis towards increasing row).
float OrientationFromDetectorAngle(float angle_deg);

// A descriptor value rounded to the nearest whole number and clamped to 0..255 (NaN
// gives 0).
std::uint8_t DescriptorByte(float value);

// Converts one detector keypoint and its descriptor row (kDescriptorLength floats).
// False when a value of the keypoint is not finite.
bool ConvertKeypoint(const cv::KeyPoint& kp, const float* descriptor, SiftKeypoint* out);

// Total order, strongest first: larger response, then smaller row, column, scale,
// orientation, then the descriptor's values lexicographically. Keypoints equal in all
// of these are identical records.
bool StrongerFirst(const SiftKeypoint& a, const SiftKeypoint& b);

}  // namespace siftkey
