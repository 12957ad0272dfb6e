// Geometry figures of an orientation: intersection angles and the coverage of the von
// Gruber regions.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "robust_orientation/elements.h"
#include "robust_orientation/observations.h"
#include "robust_orientation/tie_points.h"

namespace ro {

// Fewest points a von Gruber region needs to count as covered.
inline constexpr int kMinPointsPerGruberRegion = 3;

// The median angle between the two rays of the points `used` (radians).
double MedianIntersectionAngle(const CoplanarityModel& model,
                               std::span<const Observation> observations,
                               const std::vector<int>& used, const Elements& elements);

// The six von Gruber regions: the bounding box of all finite tie points of photograph 1
// (the overlap as the matches show it), in pixels, cut into two columns along the base
// (columns) and three rows across it, numbered row by row from the top left: 0 1 / 2 3 / 4 5.
struct GruberRegions {
    double col_min_px = 0.0;
    double col_max_px = 0.0;
    double row_min_px = 0.0;
    double row_max_px = 0.0;
    std::array<int, 6> counts{};  // points of `used` in each region
};
GruberRegions CountGruberRegions(std::span<const TiePoint> tie_points,
                                 const std::vector<int>& used);

}  // namespace ro
