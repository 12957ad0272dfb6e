// Conditioning of point sets for the linear solvers (internal to the library): the
// similarity that moves the centroid of the points to the origin and scales their mean
// distance from it to sqrt(2).
#pragma once

#include <Eigen/Core>
#include <span>

namespace two_view {

// T for the inhomogeneous points (u/w, v/w) of x. False when a point is not finite, has
// w = 0, or all points coincide.
bool NormalizingTransform(std::span<const Eigen::Vector3d> x, Eigen::Matrix3d* T);

// T applied to the inhomogeneous point of x: (T (x / w)), third component 1.
inline Eigen::Vector3d ApplyNormalization(const Eigen::Matrix3d& T, const Eigen::Vector3d& x) {
    return {T(0, 0) * x.x() / x.z() + T(0, 2), T(1, 1) * x.y() / x.z() + T(1, 2), 1.0};
}

}  // namespace two_view
