// Image-plane observations and the coplanarity residuals in pixels.
#include "robust_orientation/observations.h"

#include <Eigen/Geometry>
#include <cmath>

#include "two_view/essential.h"
#include "two_view/sampson.h"

namespace ro {

Eigen::Matrix3d CoplanarityMatrix(const Eigen::Matrix3d& M, const Eigen::Vector3d& B) {
    // F = B . (v1 x M v2) = (M v2) . (B x v1) = v2^T M^T [B]x v1.
    return M.transpose() * two_view::Skew(B);
}

bool Observation::IsFinite() const {
    return std::isfinite(x1_m) && std::isfinite(y1_m) && std::isfinite(x2_m) && std::isfinite(y2_m);
}

two_view::SampsonMetric MetricOf(const Camera::PlaneJacobian& j) {
    return {j.dx_dcolumn * j.dx_dcolumn + j.dx_drow * j.dx_drow,
            j.dx_dcolumn * j.dy_dcolumn + j.dx_drow * j.dy_drow,
            j.dy_dcolumn * j.dy_dcolumn + j.dy_drow * j.dy_drow};
}

std::vector<Observation> ToObservations(std::span<const TiePoint> tie_points, const Camera& camera1,
                                        const Camera& camera2) {
    std::vector<Observation> observations;
    observations.reserve(tie_points.size());
    const bool plain = camera1.IsPlain() && camera2.IsPlain();
    for (const TiePoint& t : tie_points) {
        if (plain) {
            const ImagePoint p1 = camera1.ToImagePlane(t.col1_px, t.row1_px);
            const ImagePoint p2 = camera2.ToImagePlane(t.col2_px, t.row2_px);
            observations.push_back({p1.x_m, p1.y_m, p2.x_m, p2.y_m, {}, {}});
            continue;
        }
        Camera::PlaneJacobian j1;
        Camera::PlaneJacobian j2;
        const ImagePoint p1 = camera1.ToImagePlane(t.col1_px, t.row1_px, &j1);
        const ImagePoint p2 = camera2.ToImagePlane(t.col2_px, t.row2_px, &j2);
        observations.push_back({p1.x_m, p1.y_m, p2.x_m, p2.y_m, MetricOf(j1), MetricOf(j2)});
    }
    return observations;
}

CoplanarityModel::CoplanarityModel(const Camera& camera1, const Camera& camera2)
    : f1_m_(camera1.focal_length_m),
      f2_m_(camera2.focal_length_m),
      scale1_(camera1.pixels_per_metre),
      scale2_(camera2.pixels_per_metre),
      metric_(!camera1.IsPlain() || !camera2.IsPlain()) {}

double CoplanarityModel::SampsonPx(const Eigen::Matrix3d& G, const Observation& o) const {
    if (metric_) return two_view::SampsonError(G, Ray1(o), Ray2(o), o.metric1, o.metric2);
    // The pixel-to-plane maps are a rotation scaled by 1 / scale, so the scale of each image
    // is its pixels per metre.
    return two_view::SampsonError(G, Ray1(o), Ray2(o), scale1_, scale2_);
}

namespace {

// The metric of the normalised ray (x / f, -y / f): the derivative gains diag(1, -1) / f.
two_view::SampsonMetric Normalised(const two_view::SampsonMetric& w, double f_m) {
    const double f_sq = f_m * f_m;
    return {w.xx / f_sq, -w.xy / f_sq, w.yy / f_sq};
}

}  // namespace

two_view::SampsonMetric CoplanarityModel::NormalisedMetric1(const Observation& o) const {
    return Normalised(o.metric1, f1_m_);
}

two_view::SampsonMetric CoplanarityModel::NormalisedMetric2(const Observation& o) const {
    return Normalised(o.metric2, f2_m_);
}

double CoplanarityModel::YParallaxPx(const Eigen::Matrix3d& M, const Eigen::Vector3d& B,
                                     const Observation& o) const {
    const Eigen::Vector3d x_axis = B.normalized();
    const Eigen::Vector3d z_axis = (Eigen::Vector3d::UnitZ() - x_axis.z() * x_axis).normalized();
    const Eigen::Vector3d y_axis = z_axis.cross(x_axis);
    const Eigen::Vector3d r1 = Ray1(o);
    const Eigen::Vector3d r2 = M * Ray2(o);
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
