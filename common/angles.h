// Degrees and radians. Angles are radians everywhere in the code; they are converted to
// degrees only where they are read or printed, by multiplying with one of these.
#pragma once

#include <numbers>

namespace common {

// degrees = radians * kDegreesPerRadian
inline constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;
// radians = degrees * kRadiansPerDegree
inline constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

}  // namespace common
