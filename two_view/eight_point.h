// The linear (eight-point) estimate of the essential matrix from n >= 8 correspondences,
// for refits on many points. Conventions: two_view.h.
#pragma once

#include <Eigen/Core>
#include <span>

namespace two_view {

// The essential matrix that best satisfies x2[i]^T E x1[i] = 0 in the least-squares sense
// after the points of each image have been conditioned (centroid to the origin, mean
// distance sqrt(2)), projected onto the essential matrices (singular values 1, 1, 0, so
// Frobenius norm sqrt(2); sign arbitrary). x1, x2: normalised image points (u, v, w) with
// w != 0, taken as (u/w, v/w). False, with *E untouched, when n < 8, the sizes differ, a point
// is not finite or has w = 0, or the points do not determine E (a linear system of rank
// below 8: a planar scene, a repeated or collinear set, too little motion of the points).
bool SolveEssentialLinear(std::span<const Eigen::Vector3d> x1, std::span<const Eigen::Vector3d> x2,
                          Eigen::Matrix3d* E);

// The same with the residual x2[i]^T E x1[i] of each correspondence weighted by weights[i]
// (the conditioning leaves that residual unchanged, so the weights act on it exactly); for
// example the inverse gradient norms of the Sampson error, so that the fit minimises the
// Sampson errors to first order. False also when the weights' count differs from n or a
// weight is not finite.
bool SolveEssentialLinear(std::span<const Eigen::Vector3d> x1, std::span<const Eigen::Vector3d> x2,
                          std::span<const double> weights, Eigen::Matrix3d* E);

}  // namespace two_view
