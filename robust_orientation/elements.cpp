// Conversions between the five elements and the computer-vision pose.
#include "robust_orientation/elements.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>

#include "camera/attitude.h"

namespace ro {
namespace {

// Photogrammetric camera frame <-> computer-vision camera frame.
const Eigen::Matrix3d& FrameFlip() {
    static const Eigen::Matrix3d d = Eigen::Vector3d(1.0, -1.0, -1.0).asDiagonal();
    return d;
}

}  // namespace

Eigen::Matrix3d AttitudeMatrix(double omega_rad, double phi_rad, double kappa_rad) {
    const AttitudeRows rows = AttitudeMatrixRows(omega_rad, phi_rad, kappa_rad);
    Eigen::Matrix3d M;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) M(r, c) = rows[r][c];
    }
    return M;
}

Angles AnglesFromAttitude(const Eigen::Matrix3d& M) {
    // M = Rx Ry Rz has first row (cos phi cos kappa, -cos phi sin kappa, sin phi) and last
    // column (sin phi, -sin omega cos phi, cos omega cos phi).
    Angles a;
    a.phi_rad = std::asin(std::clamp(M(0, 2), -1.0, 1.0));
    const double cos_phi = std::hypot(M(0, 0), M(0, 1));
    if (cos_phi > 1e-12) {
        a.omega_rad = std::atan2(-M(1, 2), M(2, 2));
        a.kappa_rad = std::atan2(-M(0, 1), M(0, 0));
    } else {
        // Gimbal lock: Rx(omega) Ry(+-pi/2) gives the second row (cos omega, ...) with
        // kappa = 0, so omega alone carries the turn.
        a.omega_rad = std::atan2(M(2, 1), M(1, 1));
        a.kappa_rad = 0.0;
    }
    return a;
}

Orientation OrientationFromCvPose(const CvPose& pose) {
    const Eigen::Matrix3d& D = FrameFlip();
    Orientation o;
    o.attitude = D * pose.R.transpose() * D;
    o.base = (-o.attitude * D * pose.t).normalized();
    return o;
}

CvPose CvPoseFromOrientation(const Orientation& orientation) {
    const Eigen::Matrix3d& D = FrameFlip();
    CvPose pose;
    pose.R = D * orientation.attitude.transpose() * D;
    pose.t = (-D * orientation.attitude.transpose() * orientation.base).normalized();
    return pose;
}

Orientation OrientationFromElements(const Elements& elements) {
    Orientation o;
    o.attitude = AttitudeMatrix(elements.omega_rad, elements.phi_rad, elements.kappa_rad);
    o.base = BaseVector(elements).normalized();
    return o;
}

Elements ElementsOf(const Orientation& orientation) {
    const Eigen::Vector3d& B = orientation.base;
    const Angles angles = AnglesFromAttitude(orientation.attitude);
    Elements e;
    e.by = B.y() / B.x();
    e.bz = B.z() / B.x();
    e.omega_rad = angles.omega_rad;
    e.phi_rad = angles.phi_rad;
    e.kappa_rad = angles.kappa_rad;
    return e;
}

CvPose CvPoseFromElements(const Elements& elements) {
    return CvPoseFromOrientation(OrientationFromElements(elements));
}

Elements ElementsFromCvPose(const CvPose& pose, Eigen::Vector3d* base_unit) {
    const Orientation o = OrientationFromCvPose(pose);
    if (base_unit != nullptr) *base_unit = o.base;
    return ElementsOf(o);
}

double RotationDistance(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b) {
    // atan2 of sine and cosine stays accurate for small angles, where acos of the cosine
    // alone loses half the digits.
    const Eigen::Matrix3d r = a.transpose() * b;
    const Eigen::Vector3d axis(r(2, 1) - r(1, 2), r(0, 2) - r(2, 0), r(1, 0) - r(0, 1));
    return std::atan2(axis.norm() / 2.0, (r.trace() - 1.0) / 2.0);
}

}  // namespace ro
