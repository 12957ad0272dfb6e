// The essential matrix and the relative pose: conversions both ways, the cheirality test,
// the triangulation angle and the Sampson error. Conventions: two_view.h.
#pragma once

#include <Eigen/Core>
#include <array>
#include <optional>
#include <span>
#include <vector>

namespace two_view {

// Camera 2 relative to camera 1: X2 = R X1 + t.
struct RelativePose {
    Eigen::Matrix3d R = Eigen::Matrix3d::Identity();
    Eigen::Vector3d t = Eigen::Vector3d::Zero();
};

// The cross-product matrix: Skew(v) w = v x w.
Eigen::Matrix3d Skew(const Eigen::Vector3d& v);

// E = [t]x R, not rescaled.
Eigen::Matrix3d EssentialFromPose(const RelativePose& pose);

// The four poses that E (any scale or sign) factors into: with t the unit left null vector
// of E (of either sign) and Ra the rotation with [t]x Ra = E / (|E| / sqrt(2)),
//   [0] (Ra, +t), [1] (Ra, -t), [2] (Rb, +t), [3] (Rb, -t),   Rb = (2 t t^T - I) Ra,
// the two rotations differing by a half turn about t. Each [t]x R equals E up to scale and
// sign. An E that is not an essential matrix to within 1e-9 (relative) is first replaced by
// the nearest one (singular values made 1, 1, 0). Empty when E is not finite or has rank
// below 2 (s2 <= 1e-12 s1), where the factors are not defined.
std::optional<std::array<RelativePose, 4>> DecomposeEssential(const Eigen::Matrix3d& E);

// How far E is from the essential matrices: |2 E E^T E - tr(E E^T) E| once E is scaled to
// Frobenius norm sqrt(2). 0 for an essential matrix; for singular values near (1, 1, 0)
// about twice the larger of |s1 - s2| and s3. +infinity for a zero or non-finite E.
double EssentialResidual(const Eigen::Matrix3d& E);

// A triangulated point counts as in front of a camera when its distance along that camera's
// ray exceeds this many baselines |t|.
inline constexpr double kMinDepthInBaselines = 1e-3;

// True when the correspondence, triangulated under the pose, lies in front of both cameras.
// x1, x2: rays (any positive multiples). The point is the midpoint of the shortest segment
// between the two rays; both of its distances along the rays must exceed
// kMinDepthInBaselines |t|. Rays that are parallel to within 1e-12 rad (a point at infinity,
// or t = 0) count as in front when they point the same way. False for non-finite input.
bool InFrontOfBothCameras(const RelativePose& pose, const Eigen::Vector3d& x1,
                          const Eigen::Vector3d& x2);

// The decompositions of E (see DecomposeEssential) under which every correspondence lies in
// front of both cameras (InFrontOfBothCameras), written to *poses (cleared first); returns
// their number. With exact data that is the one true pose. 0 when E cannot be decomposed or
// when x1 and x2 differ in size; all four when there are no correspondences.
int PosesFromEssential(const Eigen::Matrix3d& E, std::span<const Eigen::Vector3d> x1,
                       std::span<const Eigen::Vector3d> x2, std::vector<RelativePose>* poses);

// The same poses appended to *poses, which is not cleared; returns how many were appended.
// For collecting the poses of several essential matrices in one vector.
int AppendPosesFromEssential(const Eigen::Matrix3d& E, std::span<const Eigen::Vector3d> x1,
                             std::span<const Eigen::Vector3d> x2, std::vector<RelativePose>* poses);

// The angle between the two rays of a correspondence at the point where they meet, in
// radians in [0, pi]: the angle between R x1 and x2. Small angles mean a weak intersection.
// x1, x2: rays (any positive multiples). 0 for non-finite or zero input.
double TriangulationAngle(const RelativePose& pose, const Eigen::Vector3d& x1,
                          const Eigen::Vector3d& x2);

}  // namespace two_view
