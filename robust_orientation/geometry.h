// Geometry figures of an orientation: intersection angles and the coverage of the von
// Gruber regions.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "camera/camera_model.h"
#include "robust_orientation/elements.h"
#include "robust_orientation/observations.h"
#include "robust_orientation/tie_points.h"

namespace ro {

// The median angle between the two rays of the points `used` (radians).
double MedianIntersectionAngle(const CoplanarityModel& model,
                               std::span<const Observation> observations,
                               const std::vector<int>& used, const Orientation& orientation);

// The six von Gruber regions: the bounding box of all finite tie points of photograph 1
// (the overlap as the matches show it), in pixels, cut in two along the base and in three
// across it. The base's direction in photograph 1 decides the layout: a base nearer the
// column axis (the usual strip) gives two columns and three rows, 0 1 / 2 3 / 4 5; a base
// nearer the row axis (a camera turned by 90 degrees, neighbouring strips) three columns
// and two rows, 0 1 2 / 3 4 5. Regions are numbered row by row from the top left.
struct GruberRegions {
    double col_min_px = 0.0;
    double col_max_px = 0.0;
    double row_min_px = 0.0;
    double row_max_px = 0.0;
    int columns = 2;
    int rows = 3;
    std::array<int, 6> counts{};  // points of `used` in each region
};

// `base`: the base in the model frame (camera 1's frame, x right, y up in the photograph).
GruberRegions CountGruberRegions(std::span<const TiePoint> tie_points, const std::vector<int>& used,
                                 const Camera& camera1, const Eigen::Vector3d& base);

}  // namespace ro
