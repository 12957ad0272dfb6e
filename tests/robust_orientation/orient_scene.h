// Synthetic two-camera scenes with a known orientation for the robust orientation's tests
// and benchmarks: any attitude (kappa anywhere), any camera per photograph, image noise,
// gross false matches and false matches within a few pixels of the epipolar line, and
// near-planar scenes. Every random number comes from the scene's own generator, so a seed
// gives the same scene with any standard library.
#pragma once

#include <cstdint>
#include <vector>

#include "camera_model.h"
#include "elements.h"
#include "tie_points.h"

namespace scene {

struct OrientSceneOptions {
    int points = 200;
    double noise_px = 0.5;          // Gaussian sigma on each of the four pixel coordinates
    double outlier_fraction = 0.0;  // share of tie points that are false matches
    double near_epipolar_share = 0.0;  // of the false matches: within 3 px of the epipolar line
    double min_depth = 4.0;  // object points' distance in front of camera 1, base lengths
    double max_depth = 8.0;
    bool planar = false;     // all points on one plane at depth (min + max) / 2 ...
    double plane_tilt_rad = 0.2;  // ... tilted by this angle about the x axis
    std::uint64_t seed = 1;
};

struct OrientScene {
    ro::Camera camera1;
    ro::Camera camera2;
    ro::Elements truth;
    std::vector<ro::TiePoint> tie_points;
    std::vector<char> is_false;  // per tie point
};

// The frame of a camera: columns and rows, as twice the principal point (a centred one).
struct Frame {
    double columns = 0.0;
    double rows = 0.0;
};
Frame FrameOf(const ro::Camera& camera);

// A scene seen by camera1 (at the origin) and camera2 (at the base (1, by, bz) with the
// attitude of `truth`). Object points are drawn until `points` of them fall inside both
// frames; gives up (fewer points) after 100 times as many draws.
OrientScene MakeOrientScene(const ro::Elements& truth, const ro::Camera& camera1,
                            const ro::Camera& camera2, const OrientSceneOptions& options);

// A random orientation: kappa uniform in +-kappa_max, omega and phi in +-tilt_max, by and bz
// in +-base_max.
ro::Elements RandomElements(std::uint64_t seed, double kappa_max_rad, double tilt_max_rad,
                            double base_max);

}  // namespace scene
