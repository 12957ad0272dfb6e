// Intersection angles and von Gruber regions.
#include "geometry.h"

#include <Eigen/Geometry>
#include <algorithm>
#include <cmath>
#include <limits>

namespace ro {

double MedianIntersectionAngle(const CoplanarityModel& model, std::span<const Observation> observations,
                               const std::vector<int>& used, const Elements& elements) {
    if (used.empty()) return 0.0;
    const Eigen::Matrix3d M = AttitudeMatrix(elements.omega_rad, elements.phi_rad, elements.kappa_rad);
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

std::array<int, 6> GruberCounts(std::span<const Observation> observations, const std::vector<int>& used) {
    double x_min = std::numeric_limits<double>::infinity();
    double x_max = -x_min;
    double y_min = x_min;
    double y_max = -x_min;
    for (const Observation& o : observations) {
        if (!o.IsFinite()) continue;
        x_min = std::min(x_min, o.x1_m);
        x_max = std::max(x_max, o.x1_m);
        y_min = std::min(y_min, o.y1_m);
        y_max = std::max(y_max, o.y1_m);
    }
    std::array<int, 6> counts{};
    if (!(x_max > x_min && y_max > y_min)) return counts;
    for (const int k : used) {
        const Observation& o = observations[static_cast<std::size_t>(k)];
        const int column = std::clamp(static_cast<int>(2.0 * (o.x1_m - x_min) / (x_max - x_min)), 0, 1);
        const int row = std::clamp(static_cast<int>(3.0 * (y_max - o.y1_m) / (y_max - y_min)), 0, 2);
        ++counts[static_cast<std::size_t>(2 * row + column)];
    }
    return counts;
}

}  // namespace ro
