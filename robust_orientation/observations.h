// Tie points on the image planes, and the residuals of the coplanarity condition measured
// in pixels.
//
// The coplanarity condition of a tie point with rays v1 = (x1, y1, -f1) and v2 = (x2, y2, -f2)
// is F = det[B; v1; M v2] = 0. Its Sampson normalisation d = F / |dF/d(i1, j1, i2, j2)|
// divides by the gradient with respect to the four pixel coordinates, so d is the
// first-order distance of the observed positions from the nearest positions that satisfy
// the condition, in pixels: with isotropic image noise sigma, each d has variance sigma^2.
// In the normal case (M = I, B = (1, 0, 0)) d = p_y / sqrt(2), p_y the y-parallax.
#pragma once

#include <Eigen/Core>
#include <array>
#include <span>
#include <vector>

#include "camera/camera_model.h"
#include "robust_orientation/elements.h"
#include "robust_orientation/tie_points.h"

namespace ro {

// The attitude matrix M = Rx(omega) Ry(phi) Rz(kappa) with its derivatives by the three
// angles, for the analytic Jacobian of the residuals.
struct AttitudeDerivatives {
    Eigen::Matrix3d M;
    std::array<Eigen::Matrix3d, 3> dM;  // dM/domega, dM/dphi, dM/dkappa
};
AttitudeDerivatives AttitudeWithDerivatives(double omega_rad, double phi_rad, double kappa_rad);

// Image-plane coordinates of one tie point (metres, y up).
struct Observation {
    double x1_m = 0.0;
    double y1_m = 0.0;
    double x2_m = 0.0;
    double y2_m = 0.0;
    bool IsFinite() const;
};

// The image-plane coordinates of every tie point.
std::vector<Observation> ToObservations(std::span<const TiePoint> tie_points, const Camera& camera1,
                                        const Camera& camera2);

// The model of both photographs: focal lengths and pixel scales of the two cameras.
class CoplanarityModel {
  public:
    CoplanarityModel(const Camera& camera1, const Camera& camera2);

    // The Sampson-normalised coplanarity residual d in pixels for attitude M of camera 2
    // and base B (any length, any sign: d changes sign with B).
    double SampsonPx(const Eigen::Matrix3d& M, const Eigen::Vector3d& B,
                     const Observation& o) const;

    // The same residual with its derivatives by (by, bz, omega, phi, kappa) for the base
    // B = (1, by, bz), written to gradient[0..4].
    double SampsonPxWithGradient(const AttitudeDerivatives& attitude, const Eigen::Vector3d& B,
                                 const Observation& o, double* gradient) const;

    // The y-parallax in pixels of photograph 1: both rays turned into the frame whose x axis
    // is the base and whose z axis lies in the plane of the base and camera 1's z axis,
    // projected on the image plane at distance f1; the difference of their y coordinates,
    // photograph 2's minus photograph 1's. In the normal case it is y2 - y1.
    double YParallaxPx(const Eigen::Matrix3d& M, const Eigen::Vector3d& B,
                       const Observation& o) const;

    // Normalised computer-vision coordinates (x / f, -y / f, 1) of a tie point's two rays.
    Eigen::Vector3d NormalisedRay1(const Observation& o) const;
    Eigen::Vector3d NormalisedRay2(const Observation& o) const;

    double FocalLength1Px() const { return f1_m_ * scale1_; }
    double FocalLength2Px() const { return f2_m_ * scale2_; }

  private:
    double f1_m_;
    double f2_m_;
    double scale1_;  // pixels per metre
    double scale2_;
};

// The Sampson error in pixels of a correspondence of normalised coordinates u1, u2 (third
// component 1) under an essential matrix (u2^T E u1 = 0), for focal lengths f1_px, f2_px.
// Returns the squared distance.
inline double SampsonSquaredPx(const Eigen::Matrix3d& E, const Eigen::Vector3d& u1,
                               const Eigen::Vector3d& u2, double f1_px, double f2_px) {
    const Eigen::Vector3d e_u1 = E * u1;
    const Eigen::Vector3d et_u2 = E.transpose() * u2;
    const double c = u2.dot(e_u1);
    const double den = (et_u2.x() * et_u2.x() + et_u2.y() * et_u2.y()) / (f1_px * f1_px) +
                       (e_u1.x() * e_u1.x() + e_u1.y() * e_u1.y()) / (f2_px * f2_px);
    return c * c / den;
}

}  // namespace ro
