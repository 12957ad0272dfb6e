// The warnings of an orientation: figures a photogrammetrist checks, each compared with the
// limit where the geometry or the statistics stop being trustworthy.
//
//   W-CAMERA-FRAME       the tie points reach far beyond the frame a camera implies, or span
//                        a field of view above 150 degrees (camera_frame.h; for every outcome)
//   W-FEW-INLIERS        fewer than 15 points adjusted or a redundancy below 10
//   W-PLANAR             a homography explains the inliers as well: near-planar scene
//   W-ROTATION-ONLY      the photographs differ by a rotation only: no base
//   W-BASE-ACROSS        the base runs across the photograph, along its rows (|bX| / |B| < 0.1,
//                        |bY| >= |bZ|): by and bz are not defined; base direction and rotation
//   W-FORWARD-MOTION     the base runs along the viewing direction (|bX| / |B| < 0.1,
//                        |bZ| > |bY|): the epipole lies in the photograph
//   W-BASE-REVERSED      camera 2 lies at negative X: the elements describe the opposite base
//   W-WEAK-INTERSECTION  median intersection angle below 2 degrees
//   W-GRUBER-COVERAGE    a von Gruber region (geometry.h) holds fewer than 3 inliers
//   W-CORR-BY-OMEGA      |r(by, omega)| above 0.995 (about 0.98 is normal near the normal case)
//   W-CORR-HIGH          another correlation above 0.9 in absolute value
//   W-SIGMA0-REJECTED    sigma0 fails the chi-square test against the a-priori sigma
//   W-SECOND-SOLUTION    another adjusted solution, more than its sigmas away, scores at
//                        most 20.5 sigma^2 above the chosen one (candidates.h)
//   W-SNOOPING-LIMIT     data snooping stopped at its limit with points still flagged
//   W-NOT-CONVERGED      the last adjustment round did not converge within its iterations
//
// A nearly singular normal matrix (condition above kMaxNormalCondition, adjustment.h) is no
// warning but a refusal: outcome adjustment_failed.
//
// For a rotation only (configuration rotation_only, outcome no_parallax) the base is
// undefined, and every warning that presupposes one is left out as a mere consequence:
// W-BASE-ACROSS, W-FORWARD-MOTION, W-BASE-REVERSED, W-WEAK-INTERSECTION, W-GRUBER-COVERAGE
// (its regions lie along the base), W-CORR-BY-OMEGA, W-CORR-HIGH and W-SIGMA0-REJECTED (the
// adjustment counts five unknowns where only three are determined).
// W-ROTATION-ONLY says what happened; W-FEW-INLIERS, W-SECOND-SOLUTION, W-SNOOPING-LIMIT
// and W-NOT-CONVERGED stay.
#pragma once

#include <vector>

#include "common/angles.h"
#include "robust_orientation/result.h"

namespace ro {

inline constexpr int kFewInliers = 15;
inline constexpr int kLowRedundancy = 10;
inline constexpr double kForwardMotionBaseX = kMinBaseXForElements;
inline constexpr double kWeakIntersectionRad = 2.0 * common::kRadiansPerDegree;
inline constexpr double kByOmegaCorrelationLimit = 0.995;
inline constexpr double kCorrelationLimit = 0.9;

// Whether a unit base (model frame) runs across the photograph or along the viewing
// direction (see the list above); at most one of them holds.
bool IsBaseAcross(const Eigen::Vector3d& base);
bool IsForwardMotion(const Eigen::Vector3d& base);

// The warnings that the figures of `result` call for, in the order listed above (all but
// W-CAMERA-FRAME, which CameraFrameWarnings gives before the estimation).
// `snooping_limit` and `converged` come from the adjustment.
std::vector<Warning> CollectWarnings(const OrientationResult& result, bool snooping_limit,
                                     bool converged);

}  // namespace ro
