// The minimal solver of the calibrated two-view problem: the essential matrices compatible
// with five correspondences (Nister's formulation: the null space of the five epipolar
// constraints, the cubic constraints of an essential matrix, elimination down to one
// polynomial of degree 10 in one unknown, its real roots by Sturm sequences).
// Conventions: two_view.h.
#pragma once

#include <Eigen/Core>
#include <array>
#include <vector>

#include "two_view/essential.h"

namespace two_view {

inline constexpr int kMaxFivePointSolutions = 10;

using FivePoints = std::array<Eigen::Vector3d, 5>;

// Every real essential matrix E with x2[i]^T E x1[i] = 0 for the five correspondences,
// written to *essentials (cleared first), each scaled to Frobenius norm sqrt(2) with an
// arbitrary sign; returns their number, 0 to 10. x1, x2: rays (any non-zero multiples).
// Returns 0 for a degenerate sample: a non-finite or zero ray, five constraints that are not
// independent (a repeated correspondence, all points on one line in both images), an
// elimination that breaks down, or a polynomial without leading term. A candidate that
// comes out non-finite or is not an essential matrix to within 1e-6 (a root that rounding
// moved onto the real axis) is dropped. Allocates only if *essentials has no room for 10.
int SolveFivePoint(const FivePoints& x1, const FivePoints& x2,
                   std::vector<Eigen::Matrix3d>* essentials);

// The five-point solutions decomposed into poses, keeping those under which all five
// correspondences lie in front of both cameras (PosesFromEssential), written to *poses
// (cleared first); returns their number. Rays: any positive multiples. |t| = 1.
int SolveRelativePoseFivePoint(const FivePoints& x1, const FivePoints& x2,
                               std::vector<RelativePose>* poses);

}  // namespace two_view
