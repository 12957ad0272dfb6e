// The robust relative orientation of two photographs from their tie points: hypotheses
// from a five-point solver (no start value), a LO-RANSAC loop on the Sampson error, a
// least-squares adjustment of the rotation and the unit base with data snooping, the five
// elements with their precision by variance propagation, reliability and geometry checks.
// Knows nothing of files or the command line.
#pragma once

#include <span>
#include <string>

#include "camera/camera_model.h"
#include "robust_orientation/options.h"
#include "robust_orientation/result.h"
#include "robust_orientation/tie_points.h"

namespace ro {

// Why options cannot be used (empty when they can): non-positive sigma or threshold, a
// confidence outside (0, 1), iteration limits out of order, a non-positive critical value.
std::string CheckOptions(const EstimationOptions& options);

// Orients photograph 2 relative to photograph 1. The same tie points, cameras and options
// always give the same result, bit for bit, for every thread count. Never throws on bad data
// (non-finite or duplicate positions, too few points): the outcome says why no orientation
// was found.
OrientationResult EstimateOrientation(std::span<const TiePoint> tie_points, const Camera& camera1,
                                      const Camera& camera2, const EstimationOptions& options);

}  // namespace ro
