// Small 8-bit grey images with features at known places, for the siftkey tests.
#pragma once

#include <cstdint>
#include <opencv2/core.hpp>

// A bright Gaussian blob of standard deviation `sigma_px` centred at (row_px, col_px)
// (pixel centres at whole numbers) on a grey background.
cv::Mat GaussianBlob(int width, int height, double row_px, double col_px, double sigma_px);

// A bright and a dark Gaussian blob (standard deviation `sigma_px`) 2 * `offset_px` apart,
// centred at (row_px, col_px), the bright one in the direction `direction_rad`
// (counter-clockwise on screen from the column axis): the intensity gradient between and
// around them points that way.
cv::Mat Dipole(int width, int height, double row_px, double col_px, double offset_px,
               double sigma_px, double direction_rad);

// `count` bright and dark Gaussian blobs of assorted sizes at random places (a fixed
// generator seeded with `seed`): a texture with many keypoints of distinct orientations.
cv::Mat RandomBlobs(int width, int height, int count, std::uint32_t seed);
