// Geometry figures of an orientation: intersection angles and the coverage of the von
// Gruber regions.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "elements.h"
#include "observations.h"

namespace ro {

// Fewest points a von Gruber region needs to count as covered.
inline constexpr int kMinPointsPerGruberRegion = 3;

// The median angle between the two rays of the points `used` (radians).
double MedianIntersectionAngle(const CoplanarityModel& model, std::span<const Observation> observations,
                               const std::vector<int>& used, const Elements& elements);

// Points of `used` in each of the six von Gruber regions: the bounding box of all finite
// tie points of photograph 1 (the overlap as the matches show it) cut into two columns
// along the base (image x) and three rows across it (image y). Regions are numbered row
// by row from the top left: 0 1 / 2 3 / 4 5.
std::array<int, 6> GruberCounts(std::span<const Observation> observations, const std::vector<int>& used);

}  // namespace ro
