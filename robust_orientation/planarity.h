// Does a homography explain the inliers as well as the essential matrix does? Then the
// scene is near-planar (the five-point solution still holds, but weakly), or the camera
// only turned (no base at all). A small RANSAC fits a homography to the essential matrix's
// inliers with the same threshold, on the transfer error into photograph 2 in pixels.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "robust_orientation/observations.h"

namespace ro {

// A homography explaining more than this share of the inliers marks a near-planar scene or
// a pure rotation.
inline constexpr double kPlanarInlierRatio = 0.8;
// A homography whose singular values spread less than this (relative) is a rotation: the
// spread grows with base / distance, 1/60 still gives about 0.017.
inline constexpr double kRotationOnlyDeviation = 0.005;

struct HomographyCheck {
    bool found = false;
    int inliers = 0;
    double inlier_ratio = 0.0;        // homography inliers / essential inliers
    double rotation_deviation = 0.0;  // 0 for a pure rotation (two_view::PureRotationDeviation)
};

HomographyCheck CheckHomography(const CoplanarityModel& model,
                                std::span<const Observation> observations,
                                const std::vector<int>& inliers, double threshold_px,
                                std::uint64_t seed);

}  // namespace ro
