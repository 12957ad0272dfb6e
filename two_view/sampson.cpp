// The Sampson error's derivative by the constraint matrix.
#include "two_view/sampson.h"

namespace two_view {

double SampsonErrorWithGradient(const Eigen::Matrix3d& M, const Eigen::Vector3d& x1,
                                const Eigen::Vector3d& x2, double scale1, double scale2,
                                Eigen::Matrix3d* d_dM) {
    const Eigen::Vector3d m_x1 = M * x1;
    const Eigen::Vector3d mt_x2 = M.transpose() * x2;
    const double r = x2.dot(m_x1);
    const double gradient_sq = mt_x2.head<2>().squaredNorm() / (scale1 * scale1) +
                               m_x1.head<2>().squaredNorm() / (scale2 * scale2);
    if (!(gradient_sq > 0.0 && gradient_sq < std::numeric_limits<double>::infinity())) {
        d_dM->setZero();
        return SampsonError(M, x1, x2, scale1, scale2);
    }
    // d = r / s with s = sqrt(|g|^2):
    //   dr / dM = x2 x1^T,
    //   d|g|^2 / dM = 2 x2 (a1, a2, 0) / s1^2 + 2 (b1, b2, 0)^T x1^T / s2^2
    // for a = M^T x2 and b = M x1 (a_j depends on column j of M, b_i on row i), so
    //   dd / dM = dr / dM / s - r / (2 s^3) d|g|^2 / dM.
    const double s = std::sqrt(gradient_sq);
    const Eigen::Vector3d a(mt_x2.x() / (scale1 * scale1), mt_x2.y() / (scale1 * scale1), 0.0);
    const Eigen::Vector3d b(m_x1.x() / (scale2 * scale2), m_x1.y() / (scale2 * scale2), 0.0);
    const double k = r / (s * gradient_sq);
    *d_dM = (x2 * x1.transpose()) / s - k * (x2 * a.transpose() + b * x1.transpose());
    return r / s;
}

}  // namespace two_view
