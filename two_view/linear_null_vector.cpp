#include "two_view/linear_null_vector.h"

#include <Eigen/QR>
#include <Eigen/SVD>

namespace two_view {

bool LinearNullVector(const SystemRows& a, Eigen::Matrix<double, 9, 1>* h) {
    if (a.rows() < 9 || !a.allFinite()) return false;
    const Eigen::HouseholderQR<SystemRows> qr(a);
    const Eigen::Matrix<double, 9, 9> r = qr.matrixQR().topRows<9>().triangularView<Eigen::Upper>();
    const Eigen::JacobiSVD<Eigen::Matrix<double, 9, 9>> svd(r, Eigen::ComputeFullV);
    const auto& s = svd.singularValues();
    if (!(s(7) > 1e-10 * s(0))) return false;
    *h = svd.matrixV().col(8);
    return h->allFinite();
}

}  // namespace two_view
