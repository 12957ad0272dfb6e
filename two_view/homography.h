// Homographies between the two images, x2 ~ H x1: the exact one from four correspondences,
// the least-squares one from four or more, transfer errors, and the test whether a
// homography is a pure rotation. A homography explains all correspondences of a planar
// scene and of a camera that only turned; the robust estimation compares it with the
// essential matrix to detect both. Conventions: two_view.h.
#pragma once

#include <Eigen/Core>
#include <array>
#include <optional>
#include <span>

namespace two_view {

using FourPoints = std::array<Eigen::Vector3d, 4>;

// The homography through four correspondences, from the projective bases that the two
// quadruples span. x1, x2: homogeneous points (any non-zero multiples). *H is scaled to
// Frobenius norm 1 with det H > 0. False, with *H untouched, for non-finite input or when three
// points of either quadruple are collinear (|det| of the three unit vectors below 1e-10).
bool SolveHomographyFourPoint(const FourPoints& x1, const FourPoints& x2, Eigen::Matrix3d* H);

// The least-squares homography (direct linear transformation on conditioned points: centroid
// to the origin, mean distance sqrt(2)) of n >= 4 correspondences, exact for exact data.
// x1, x2: points (u, v, w) with w != 0. *H is scaled to Frobenius norm 1 with det H > 0.
// False, with *H untouched, when n < 4, the sizes differ, a point is not finite or has w = 0,
// the points do not determine H (a system of rank below 8: three of four points collinear,
// all points on one line, repeated points), or the best fit is singular (|det| < 1e-14 at
// norm 1: the points of one image lie on a line).
bool SolveHomography(std::span<const Eigen::Vector3d> x1, std::span<const Eigen::Vector3d> x2,
                     Eigen::Matrix3d* H);

// |x2 - H x1|^2 with H x1 brought to third component 1: the transfer error into image 2,
// squared, in the units of the coordinates. x1 and x2 must have third component 1.
// +infinity when H x1 is at infinity or the input is not finite.
double TransferErrorSquared(const Eigen::Matrix3d& H, const Eigen::Vector3d& x1,
                            const Eigen::Vector3d& x2);

// The transfer errors into both images, squared and summed: TransferErrorSquared(H, x1, x2)
// + TransferErrorSquared(H_inverse, x2, x1). H_inverse is H^-1 (any scale), computed once by
// the caller.
double SymmetricTransferErrorSquared(const Eigen::Matrix3d& H, const Eigen::Matrix3d& H_inverse,
                                     const Eigen::Vector3d& x1, const Eigen::Vector3d& x2);

// How far a homography between normalised image points is from a pure rotation: for a
// camera that only turned, H is a multiple of the rotation R and its three singular values
// are equal; a plane at distance d seen over a baseline b gives H ~ R + t n^T / d, whose
// singular values spread by about b / d. Returns (s1 - s3) / s2 for the singular values
// s1 >= s2 >= s3: 0 for a rotation, growing with the baseline; +infinity when H is not
// finite or s2 = 0.
double PureRotationDeviation(const Eigen::Matrix3d& H);

// True when PureRotationDeviation(H) <= max_deviation; the deviation is written to
// *deviation when that is not null.
bool IsNearPureRotation(const Eigen::Matrix3d& H, double max_deviation,
                        double* deviation = nullptr);

// The rotation nearest to H up to a positive or negative scale (U V^T of the SVD of the
// multiple of H with positive determinant): the camera's turn when H is a pure rotation.
// Empty when H is not finite or singular.
std::optional<Eigen::Matrix3d> NearestRotation(const Eigen::Matrix3d& H);

}  // namespace two_view
