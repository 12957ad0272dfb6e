// Intersection angles and von Gruber regions.
#include "robust_orientation/geometry.h"

#include <Eigen/Geometry>
#include <algorithm>
#include <cmath>
#include <limits>

namespace ro {

double MedianIntersectionAngle(const CoplanarityModel& model,
                               std::span<const Observation> observations,
                               const std::vector<int>& used, const Orientation& orientation) {
    if (used.empty()) return 0.0;
    const Eigen::Matrix3d& M = orientation.attitude;
    // Normalised rays differ from the camera rays by the frame flip D, which is the same
    // for both cameras and keeps angles; M turns camera 2's ray into the model frame.
    const Eigen::Matrix3d D = Eigen::Vector3d(1.0, -1.0, -1.0).asDiagonal();
    std::vector<double> angles;
    angles.reserve(used.size());
    for (const int k : used) {
        const Observation& o = observations[static_cast<std::size_t>(k)];
        const Eigen::Vector3d r1 = model.NormalisedRay1(o);
        const Eigen::Vector3d r2 = D * M * D * model.NormalisedRay2(o);
        angles.push_back(std::atan2(r1.cross(r2).norm(), r1.dot(r2)));
    }
    const auto middle = angles.begin() + static_cast<std::ptrdiff_t>(angles.size() / 2);
    std::nth_element(angles.begin(), middle, angles.end());
    return *middle;
}

GruberRegions CountGruberRegions(std::span<const TiePoint> tie_points, const std::vector<int>& used,
                                 const Camera& camera1, const Eigen::Vector3d& base) {
    GruberRegions g;
    // The base's direction in pixels: the image-plane step (Bx, By) through the camera's
    // pixel axes (which may be turned by its in-plane angle).
    // A distorted camera takes a step of a thousandth of its focal length, within the frame
    // where its distortion holds.
    const double across = base.head<2>().norm();
    const double step =
        camera1.IsPlain() || !(across > 0.0) ? 1.0 : 1e-3 * camera1.focal_length_m / across;
    const Camera::PixelPoint origin = camera1.ToPixel({0.0, 0.0});
    const Camera::PixelPoint along = camera1.ToPixel({step * base.x(), step * base.y()});
    if (std::fabs(along.row_px - origin.row_px) > std::fabs(along.column_px - origin.column_px)) {
        g.columns = 3;
        g.rows = 2;
    }
    g.col_min_px = g.row_min_px = std::numeric_limits<double>::infinity();
    g.col_max_px = g.row_max_px = -std::numeric_limits<double>::infinity();
    for (const TiePoint& t : tie_points) {
        if (!std::isfinite(t.col1_px) || !std::isfinite(t.row1_px) || !std::isfinite(t.col2_px) ||
            !std::isfinite(t.row2_px)) {
            continue;
        }
        g.col_min_px = std::min(g.col_min_px, t.col1_px);
        g.col_max_px = std::max(g.col_max_px, t.col1_px);
        g.row_min_px = std::min(g.row_min_px, t.row1_px);
        g.row_max_px = std::max(g.row_max_px, t.row1_px);
    }
    const double width = g.col_max_px - g.col_min_px;
    const double height = g.row_max_px - g.row_min_px;
    if (!(width > 0.0 && height > 0.0)) return g;
    for (const int k : used) {
        const TiePoint& t = tie_points[static_cast<std::size_t>(k)];
        const int column = std::clamp(
            static_cast<int>(g.columns * (t.col1_px - g.col_min_px) / width), 0, g.columns - 1);
        const int row = std::clamp(static_cast<int>(g.rows * (t.row1_px - g.row_min_px) / height),
                                   0, g.rows - 1);
        ++g.counts[static_cast<std::size_t>(g.columns) * static_cast<std::size_t>(row) +
                   static_cast<std::size_t>(column)];
    }
    return g;
}

}  // namespace ro
