// Two-view geometry of calibrated cameras: the essential matrix from five or more
// correspondences, its decomposition into a relative pose with the cheirality test, the
// Sampson error, and homographies for near-planar scenes and pure rotations. The library
// knows nothing of files, command lines or photogrammetric angles.
//
// Conventions (computer-vision form), used by every header of this folder:
// - A point with coordinates X1 in the frame of camera 1 has coordinates X2 = R X1 + t in
//   the frame of camera 2 (RelativePose). Cameras look along +z; x to the right, y down in
//   the image.
// - An observation is a ray, the normalised image point x = (u, v, 1) = K^-1 (column, row, 1)
//   of an undistorted image. Where a function says so, any positive multiple of it (a unit
//   bearing vector, for instance) is accepted as well.
// - E = [t]x R, so that x2^T E x1 = 0 for every correspondence. Essential matrices are
//   defined up to scale and sign; the solvers return them with Frobenius norm sqrt(2), so
//   that the two singular values of an exact one are 1 and its translation has length 1.
// - The length of t is not observable: decompositions return |t| = 1. Depths and distances
//   are in units of the baseline |t|; angles are in radians.
// - Every function keeps no state between calls and may run on several threads at once.
//   Failures are reported by the return value (a count of 0, false, an empty optional,
//   +infinity for an error measure), never by a non-finite result.
#pragma once

#include "two_view/eight_point.h"
#include "two_view/essential.h"
#include "two_view/five_point.h"
#include "two_view/homography.h"
#include "two_view/sampson.h"
