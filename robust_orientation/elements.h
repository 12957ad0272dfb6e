// The five elements of a dependent relative orientation and their conversion to and from
// the computer-vision form of a relative pose.
//
// Photogrammetric form (the model of `relative`): camera 1 at the origin, not rotated; the
// base B from camera 1 to camera 2 is (1, by, bz), its X component fixing the scale; the
// attitude of camera 2 is M = Rx(omega) Ry(phi) Rz(kappa), which turns a direction given in
// camera 2's frame into the model frame. Camera frames have x right, y up, z backwards: a
// camera looks along -z.
//
// Computer-vision form: a point with camera-1 coordinates X1 has camera-2 coordinates
// X2 = R X1 + t, with camera frames x right, y down, z forwards. The two frames differ by
// D = diag(1, -1, -1), so
//
//     R = D M^T D,    t = -D M^T B    and back    M = D R^T D,    B = -M D t.
//
// The coplanarity condition does not see the sign of the base: B and -B give the same
// elements (by, bz), so the elements describe a camera 2 at negative X as the opposite base.
#pragma once

#include <Eigen/Core>
#include <array>

#include "two_view/essential.h"

namespace ro {

using Matrix5d = Eigen::Matrix<double, 5, 5>;

struct Elements {
    double by = 0.0;
    double bz = 0.0;
    double omega_rad = 0.0;
    double phi_rad = 0.0;
    double kappa_rad = 0.0;

    // (by, bz, omega, phi, kappa): the parameter vector of the coplanarity model.
    std::array<double, 5> AsArray() const { return {by, bz, omega_rad, phi_rad, kappa_rad}; }
};

// Relative pose in the computer-vision form (see above): the two-view solvers' own.
using CvPose = two_view::RelativePose;

// M = Rx(omega) Ry(phi) Rz(kappa), the same matrix as `relative`'s rotation.
Eigen::Matrix3d AttitudeMatrix(double omega_rad, double phi_rad, double kappa_rad);

// The angles of an attitude matrix, phi in [-pi/2, pi/2], omega and kappa in (-pi, pi].
// At phi = +-pi/2 only omega + kappa (or their difference) is defined; kappa is then 0.
struct Angles {
    double omega_rad = 0.0;
    double phi_rad = 0.0;
    double kappa_rad = 0.0;
};
Angles AnglesFromAttitude(const Eigen::Matrix3d& M);

// A relative orientation in the independent form: the attitude M of camera 2 and the unit
// base B from camera 1 to camera 2, both in the model frame. Five degrees of freedom and
// defined for every direction of the base; the adjustment works in it, and the five
// elements are derived from it (they need a base with an X component).
struct Orientation {
    Eigen::Matrix3d attitude = Eigen::Matrix3d::Identity();
    Eigen::Vector3d base = Eigen::Vector3d::UnitX();  // unit length
};

Orientation OrientationFromCvPose(const CvPose& pose);
CvPose CvPoseFromOrientation(const Orientation& orientation);
// The base (1, by, bz) normalised; camera 2 at positive X.
Orientation OrientationFromElements(const Elements& elements);
// by = By / Bx, bz = Bz / Bx and the angles of the attitude; by and bz are infinite or NaN
// for a base without an X component.
Elements ElementsOf(const Orientation& orientation);

// The base (1, by, bz) in the model frame.
inline Eigen::Vector3d BaseVector(const Elements& e) { return {1.0, e.by, e.bz}; }

// The pose of the elements, t of unit length pointing from camera 1 to camera 2 as (1, by, bz).
CvPose CvPoseFromElements(const Elements& elements);

// The elements of a pose, and the unit base from camera 1 to camera 2 in the model frame
// (its sign follows t). The elements are meaningless when the base has no X component.
Elements ElementsFromCvPose(const CvPose& pose, Eigen::Vector3d* base_unit = nullptr);

// Angle of the rotation that takes one rotation matrix into the other, radians.
double RotationDistance(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b);

}  // namespace ro
