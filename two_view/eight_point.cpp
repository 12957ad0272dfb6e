#include "two_view/eight_point.h"

#include <Eigen/SVD>
#include <cmath>

#include "two_view/linear_null_vector.h"
#include "two_view/point_normalization.h"

namespace two_view {

bool SolveEssentialLinear(std::span<const Eigen::Vector3d> x1, std::span<const Eigen::Vector3d> x2,
                          Eigen::Matrix3d* E) {
    return SolveEssentialLinear(x1, x2, {}, E);
}

bool SolveEssentialLinear(std::span<const Eigen::Vector3d> x1, std::span<const Eigen::Vector3d> x2,
                          std::span<const double> weights, Eigen::Matrix3d* E) {
    const std::size_t n = x1.size();
    if (n < 8 || x2.size() != n || (!weights.empty() && weights.size() != n)) return false;
    Eigen::Matrix3d t1, t2;
    if (!NormalizingTransform(x1, &t1) || !NormalizingTransform(x2, &t2)) return false;
    // One row (y2 kron y1) per correspondence; padded with a zero row when n = 8 so that the
    // QR has its nine rows.
    SystemRows a = SystemRows::Zero(static_cast<Eigen::Index>(n < 9 ? 9 : n), 9);
    for (std::size_t i = 0; i < n; ++i) {
        const double w = weights.empty() ? 1.0 : weights[i];
        if (!std::isfinite(w)) return false;
        const Eigen::Vector3d y1 = ApplyNormalization(t1, x1[i]);
        const Eigen::Vector3d y2 = w * ApplyNormalization(t2, x2[i]);
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) a(static_cast<Eigen::Index>(i), 3 * r + c) = y2(r) * y1(c);
        }
    }
    Eigen::Matrix<double, 9, 1> h;
    if (!LinearNullVector(a, &h)) return false;
    const Eigen::Matrix3d conditioned =
        Eigen::Map<const Eigen::Matrix<double, 3, 3, Eigen::RowMajor>>(h.data());
    const Eigen::Matrix3d raw = t2.transpose() * conditioned * t1;
    const Eigen::JacobiSVD<Eigen::Matrix3d> svd(raw, Eigen::ComputeFullU | Eigen::ComputeFullV);
    if (!(svd.singularValues()(1) > 1e-12 * svd.singularValues()(0))) return false;
    const Eigen::Matrix3d e =
        svd.matrixU() * Eigen::Vector3d(1.0, 1.0, 0.0).asDiagonal() * svd.matrixV().transpose();
    if (!e.allFinite()) return false;
    *E = e;
    return true;
}

}  // namespace two_view
