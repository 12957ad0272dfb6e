// The camera model: pixel positions to image-plane coordinates and back, and the rotation
// matrix of a camera's attitude.
#include <cmath>

#include "camera/attitude.h"
#include "camera/builtin_camera.h"
#include "relative/utils.h"

namespace {

struct PrincipalPoint {
    double i0;
    double j0;
};

PrincipalPoint PrincipalPointOf(int num) {
    if (num == 1) return {ro::kPrincipalColumnCamera1, ro::kPrincipalRowCamera1};
    return {ro::kPrincipalColumnOther, ro::kPrincipalRowOther};
}

}  // namespace

void ijTOxy(double i, double j, double* x, double* y, int num) {
    const double cosTheta = std::cos(ro::kInPlaneAngle);
    const double sinTheta = std::sin(ro::kInPlaneAngle);
    const PrincipalPoint pp = PrincipalPointOf(num);
    // The image-plane y axis runs upwards, against the row index.
    *x = (cosTheta / ro::kPixelScale) * (i - pp.i0) + (sinTheta / ro::kPixelScale) * (j - pp.j0);
    *y = (i - pp.i0) * (sinTheta / ro::kPixelScale) - (j - pp.j0) * (cosTheta / ro::kPixelScale);
}

void xyTOij(double x, double y, double* i, double* j, int num) {
    const double cosTheta = std::cos(ro::kInPlaneAngle);
    const double sinTheta = std::sin(ro::kInPlaneAngle);
    const PrincipalPoint pp = PrincipalPointOf(num);
    // The conversion matrix of ijTOxy is its own inverse up to the scale.
    *i = (x * cosTheta + y * sinTheta) * ro::kPixelScale + pp.i0;
    *j = (x * sinTheta - y * cosTheta) * ro::kPixelScale + pp.j0;
}

void get3drotation(double A, double B, double C, RotationMatrix& val) {
    val = ro::AttitudeMatrixRows(A, B, C);
}
