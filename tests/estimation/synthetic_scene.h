// Synthetic two-camera scenes with a known relative orientation, for the estimation tests
// and benchmarks. Camera 1 sits at the origin without rotation, camera 2 at (1, Ey, Ez)
// with the attitude Rx(omega) Ry(phi) Rz(kappa); both use the built-in camera.
#pragma once

#include <array>
#include <vector>

#include "utils.h"

struct TrueOrientation {
    double ey = 0.0;
    double ez = 0.0;
    double omega = 0.0;  // radians
    double phi = 0.0;
    double kappa = 0.0;
};

struct SceneOptions {
    int points = 200;
    double min_depth = 3.0;  // in base lengths, in front of camera 1
    double max_depth = 30.0;
    double noise_px = 0.0;          // Gaussian sigma on each of the four positions
    double outlier_fraction = 0.0;  // share of tie points whose second position is random
    unsigned seed = 1;
};

// Tie-point rows (i1, j1, i2, j2), column before row, in double precision. Every point is
// inside the 1920 x 1024 frame of both photographs (before noise).
std::vector<std::array<double, 4>> MakeTiePoints(const TrueOrientation& truth,
                                                 const SceneOptions& options);

// The match array (row1, col1, row2, col2) of tie-point rows.
MatchArray ToMatchArray(const std::vector<std::array<double, 4>>& rows);

// Two keypoint lists whose descriptors match exactly the tie points given (first list in
// tie-point order, second list reversed), plus `distractors` unmatched keypoints in each.
struct KeypointPair {
    KeypointList keys1;
    KeypointList keys2;
};
KeypointPair ToKeypoints(const std::vector<std::array<double, 4>>& rows, int distractors,
                         unsigned seed);

inline constexpr double kDegree = 3.14159265358979323846 / 180.0;
