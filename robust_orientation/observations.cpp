// Image-plane observations and the coplanarity residuals in pixels.
#include "robust_orientation/observations.h"

#include <Eigen/Geometry>
#include <cmath>

namespace ro {

AttitudeDerivatives AttitudeWithDerivatives(double omega_rad, double phi_rad, double kappa_rad) {
    const double so = std::sin(omega_rad), co = std::cos(omega_rad);
    const double sp = std::sin(phi_rad), cp = std::cos(phi_rad);
    const double sk = std::sin(kappa_rad), ck = std::cos(kappa_rad);
    Eigen::Matrix3d rx, ry, rz, drx, dry, drz;
    rx << 1, 0, 0, 0, co, -so, 0, so, co;
    ry << cp, 0, sp, 0, 1, 0, -sp, 0, cp;
    rz << ck, -sk, 0, sk, ck, 0, 0, 0, 1;
    drx << 0, 0, 0, 0, -so, -co, 0, co, -so;
    dry << -sp, 0, cp, 0, 0, 0, -cp, 0, -sp;
    drz << -sk, -ck, 0, ck, -sk, 0, 0, 0, 0;
    // M itself as `relative` builds it, so that residuals agree with it to the last bit.
    return {AttitudeMatrix(omega_rad, phi_rad, kappa_rad),
            {drx * ry * rz, rx * dry * rz, rx * ry * drz}};
}

bool Observation::IsFinite() const {
    return std::isfinite(x1_m) && std::isfinite(y1_m) && std::isfinite(x2_m) && std::isfinite(y2_m);
}

std::vector<Observation> ToObservations(std::span<const TiePoint> tie_points, const Camera& camera1,
                                        const Camera& camera2) {
    std::vector<Observation> observations;
    observations.reserve(tie_points.size());
    for (const TiePoint& t : tie_points) {
        const ImagePoint p1 = camera1.ToImagePlane(t.col1_px, t.row1_px);
        const ImagePoint p2 = camera2.ToImagePlane(t.col2_px, t.row2_px);
        observations.push_back({p1.x_m, p1.y_m, p2.x_m, p2.y_m});
    }
    return observations;
}

CoplanarityModel::CoplanarityModel(const Camera& camera1, const Camera& camera2)
    : f1_m_(camera1.focal_length_m),
      f2_m_(camera2.focal_length_m),
      scale1_(camera1.pixels_per_metre),
      scale2_(camera2.pixels_per_metre) {}

double CoplanarityModel::SampsonPx(const Eigen::Matrix3d& M, const Eigen::Vector3d& B,
                                   const Observation& o) const {
    const Eigen::Vector3d v1(o.x1_m, o.y1_m, -f1_m_);
    const Eigen::Vector3d v2(o.x2_m, o.y2_m, -f2_m_);
    const Eigen::Vector3d w2 = M * v2;
    // F = B . (v1 x w2) = v1 . (w2 x B) = w2 . (B x v1).
    const Eigen::Vector3d g1 = w2.cross(B);
    const Eigen::Vector3d g2 = M.transpose() * B.cross(v1);
    const double f = v1.dot(g1);
    // The pixel-to-plane maps are a rotation scaled by 1 / scale, so the gradient with
    // respect to the pixels is the image-plane gradient divided by the scale.
    const double den = (g1.x() * g1.x() + g1.y() * g1.y()) / (scale1_ * scale1_) +
                       (g2.x() * g2.x() + g2.y() * g2.y()) / (scale2_ * scale2_);
    return f / std::sqrt(den);
}

double CoplanarityModel::SampsonPxWithGradient(const AttitudeDerivatives& attitude,
                                               const Eigen::Vector3d& B, const Observation& o,
                                               double* gradient) const {
    const Eigen::Matrix3d& M = attitude.M;
    const Eigen::Vector3d v1(o.x1_m, o.y1_m, -f1_m_);
    const Eigen::Vector3d v2(o.x2_m, o.y2_m, -f2_m_);
    const Eigen::Vector3d w2 = M * v2;
    const Eigen::Vector3d u = B.cross(v1);
    const Eigen::Vector3d g1 = w2.cross(B);
    const Eigen::Vector3d g2 = M.transpose() * u;
    const double f = v1.dot(g1);
    const double s1 = 1.0 / (scale1_ * scale1_);
    const double s2 = 1.0 / (scale2_ * scale2_);
    const double den =
        (g1.x() * g1.x() + g1.y() * g1.y()) * s1 + (g2.x() * g2.x() + g2.y() * g2.y()) * s2;
    const double s = std::sqrt(den);
    // d = F / s: dd = dF / s - F dden / (2 s^3), with dden from the changes of g1 and g2.
    const auto derivative = [&](const Eigen::Vector3d& dg1, const Eigen::Vector3d& dg2) {
        const double df = v1.dot(dg1);
        const double dden = 2.0 * (g1.x() * dg1.x() + g1.y() * dg1.y()) * s1 +
                            2.0 * (g2.x() * dg2.x() + g2.y() * dg2.y()) * s2;
        return df / s - f * dden / (2.0 * den * s);
    };
    // The base components move B: g1 = w2 x B and g2 = M^T (B x v1) change with it.
    for (int k = 0; k < 2; ++k) {
        const Eigen::Vector3d dB = k == 0 ? Eigen::Vector3d::UnitY() : Eigen::Vector3d::UnitZ();
        gradient[k] = derivative(w2.cross(dB), M.transpose() * dB.cross(v1));
    }
    // The angles move M: through w2 = M v2 in g1, and M^T in g2.
    for (int k = 0; k < 3; ++k) {
        const Eigen::Matrix3d& dM = attitude.dM[static_cast<std::size_t>(k)];
        gradient[2 + k] = derivative((dM * v2).cross(B), dM.transpose() * u);
    }
    return f / s;
}

double CoplanarityModel::YParallaxPx(const Eigen::Matrix3d& M, const Eigen::Vector3d& B,
                                     const Observation& o) const {
    const Eigen::Vector3d x_axis = B.normalized();
    const Eigen::Vector3d z_axis = (Eigen::Vector3d::UnitZ() - x_axis.z() * x_axis).normalized();
    const Eigen::Vector3d y_axis = z_axis.cross(x_axis);
    const Eigen::Vector3d r1(o.x1_m, o.y1_m, -f1_m_);
    const Eigen::Vector3d r2 = M * Eigen::Vector3d(o.x2_m, o.y2_m, -f2_m_);
    // A ray (u, v, w) with w < 0 meets the plane z = -f1 at y = -f1 v / w.
    const double y1 = -f1_m_ * y_axis.dot(r1) / z_axis.dot(r1);
    const double y2 = -f1_m_ * y_axis.dot(r2) / z_axis.dot(r2);
    return (y2 - y1) * scale1_;
}

Eigen::Vector3d CoplanarityModel::NormalisedRay1(const Observation& o) const {
    return {o.x1_m / f1_m_, -o.y1_m / f1_m_, 1.0};
}

Eigen::Vector3d CoplanarityModel::NormalisedRay2(const Observation& o) const {
    return {o.x2_m / f2_m_, -o.y2_m / f2_m_, 1.0};
}

}  // namespace ro
