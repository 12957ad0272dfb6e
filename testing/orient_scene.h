// The synthetic scene (scene.h) in the terms of the robust orientation: its tie points as
// ro::TiePoint, its cameras as ro::Camera, its truth as ro::Elements. Scenes for orient
// default to tie points alone at depths of 4 to 8 base lengths with 0.5 px noise.
#pragma once

#include <cstdint>
#include <vector>

#include "camera/camera_model.h"
#include "robust_orientation/elements.h"
#include "robust_orientation/tie_points.h"
#include "testing/scene.h"

namespace scene {

struct OrientScene {
    ro::Camera camera1;
    ro::Camera camera2;
    ro::Elements truth;
    std::vector<ro::TiePoint> tie_points;
    std::vector<char> is_false;  // per tie point
};

// Options for orient's scenes: no keypoints, depths 4 to 8, noise 0.5 px, `points` points.
SceneOptions OrientSceneOptions(int points, unsigned seed);

// The scene of `options` for the orientation `truth`.
OrientScene MakeOrientScene(const ro::Elements& truth, const SceneOptions& options);

// Both cameras turned by 90 degrees about their viewing directions (Q = Rz(90 degrees)): the
// image-plane point (x, y) becomes (-y, x), a base along the columns one along the rows,
// and the orientation (M, B) becomes (Q M Q^T, Q B). `camera` gives the principal point.
std::vector<ro::TiePoint> TurnedByQuarter(std::vector<ro::TiePoint> points,
                                          const ro::Camera& camera);
ro::Orientation TurnedByQuarter(const ro::Orientation& orientation);

// A random orientation: kappa uniform in +-kappa_max, omega and phi in +-tilt_max, by and bz
// in +-base_max, from the scene's own generator.
ro::Elements RandomElements(std::uint64_t seed, double kappa_max_rad, double tilt_max_rad,
                            double base_max);

}  // namespace scene
