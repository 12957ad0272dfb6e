#include "two_view/point_normalization.h"

#include <cmath>

namespace two_view {

bool NormalizingTransform(std::span<const Eigen::Vector3d> x, Eigen::Matrix3d* T) {
    if (x.empty()) return false;
    Eigen::Vector2d centroid = Eigen::Vector2d::Zero();
    for (const Eigen::Vector3d& p : x) {
        if (!p.allFinite() || p.z() == 0.0) return false;
        centroid += p.head<2>() / p.z();
    }
    centroid /= static_cast<double>(x.size());
    double mean_distance = 0.0;
    for (const Eigen::Vector3d& p : x) mean_distance += (p.head<2>() / p.z() - centroid).norm();
    mean_distance /= static_cast<double>(x.size());
    if (!(mean_distance > 0.0) || !std::isfinite(mean_distance) || !centroid.allFinite()) {
        return false;
    }
    const double s = std::sqrt(2.0) / mean_distance;
    if (!std::isfinite(s)) return false;
    *T << s, 0.0, -s * centroid.x(), 0.0, s, -s * centroid.y(), 0.0, 0.0, 1.0;
    return true;
}

}  // namespace two_view
