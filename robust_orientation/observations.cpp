// Image-plane observations and the coplanarity residuals in pixels.
#include "observations.h"

#include <Eigen/Geometry>
#include <cmath>

namespace ro {

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
