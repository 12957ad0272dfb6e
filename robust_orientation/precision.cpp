// Variance propagation from the adjustment's unknowns to the reported figures.
#include "robust_orientation/precision.h"

#include <Eigen/Dense>
#include <cmath>
#include <limits>

namespace ro {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// d(elements) / dp at the orientation (see precision.h); the by and bz rows are NaN when the
// elements are not defined, the angle rows NaN at phi = +-90 degrees, where they are not.
// T is the base's tangent basis.
Matrix5d ElementsJacobian(const Orientation& o, const Eigen::Matrix<double, 3, 2>& T,
                          bool defined) {
    Matrix5d E = Matrix5d::Zero();
    const Eigen::Vector3d& B = o.base;
    if (defined) {
        Eigen::Matrix<double, 2, 3> d_ratio;
        d_ratio << -B.y() / (B.x() * B.x()), 1.0 / B.x(), 0.0,  //
            -B.z() / (B.x() * B.x()), 0.0, 1.0 / B.x();
        E.block<2, 2>(0, 3) = d_ratio * T;
    } else {
        E.topRows<2>().setConstant(kNaN);
    }
    const Angles angles = AnglesFromAttitude(o.attitude);
    const Eigen::Matrix3d rx = AttitudeMatrix(angles.omega_rad, 0.0, 0.0);
    const Eigen::Matrix3d rxy = AttitudeMatrix(angles.omega_rad, angles.phi_rad, 0.0);
    Eigen::Matrix3d A;
    A.col(0) = Eigen::Vector3d::UnitX();
    A.col(1) = rx * Eigen::Vector3d::UnitY();
    A.col(2) = rxy * Eigen::Vector3d::UnitZ();
    const Eigen::FullPivLU<Eigen::Matrix3d> lu(A);
    E.block<3, 3>(2, 0) =
        lu.isInvertible() ? Eigen::Matrix3d(lu.inverse()) : Eigen::Matrix3d::Constant(kNaN);
    return E;
}

// E C E^T: the elements' covariance from that of p; by and bz rows and columns NaN when
// the elements are not defined.
Matrix5d Propagate(const Matrix5d& E, const Matrix5d& C, bool defined) {
    Matrix5d covariance = E * C * E.transpose();
    if (!defined) {
        // NaN times a zero entry is NaN: the angle block must not see the undefined rows.
        covariance.topRows<2>().setConstant(kNaN);
        covariance.leftCols<2>().setConstant(kNaN);
        const Eigen::Matrix3d angles = E.block<3, 3>(2, 0);
        covariance.bottomRightCorner<3, 3>() =
            angles * C.topLeftCorner<3, 3>() * angles.transpose();
    }
    return covariance;
}

}  // namespace

Matrix5d CorrelationOf(const Matrix5d& covariance) {
    const Eigen::Matrix<double, 5, 1> inverse_sigma =
        covariance.diagonal().cwiseSqrt().cwiseInverse();
    return inverse_sigma.asDiagonal() * covariance * inverse_sigma.asDiagonal();
}

Precision PrecisionOf(const Adjustment& adjustment, double sigma_apriori_px) {
    Precision p;
    const Orientation& o = adjustment.orientation;
    const Matrix5d C = adjustment.sigma0_px * adjustment.sigma0_px * adjustment.cofactor;
    p.elements_defined = std::fabs(o.base.x()) >= kMinBaseXForElements;
    const Eigen::Matrix<double, 3, 2> T = BaseTangent(o.base);
    const Matrix5d E = ElementsJacobian(o, T, p.elements_defined);
    p.covariance = Propagate(E, C, p.elements_defined);
    const Matrix5d a_priori =
        Propagate(E, sigma_apriori_px * sigma_apriori_px * adjustment.cofactor, p.elements_defined);
    for (int k = 0; k < 5; ++k) {
        p.sigma[static_cast<std::size_t>(k)] = std::sqrt(p.covariance(k, k));
        p.sigma_a_priori[static_cast<std::size_t>(k)] = std::sqrt(a_priori(k, k));
    }
    p.correlation = CorrelationOf(p.covariance);
    // Of the defined elements only.
    p.condition_number =
        p.elements_defined
            ? ConditionNumber<5>(p.correlation)
            : ConditionNumber<3>(Eigen::Matrix3d(p.correlation.bottomRightCorner<3, 3>()));
    const Eigen::Matrix3d base = T * C.bottomRightCorner<2, 2>() * T.transpose();
    for (int k = 0; k < 3; ++k) {
        p.base_sigma[static_cast<std::size_t>(k)] = std::sqrt(std::max(base(k, k), 0.0));
        p.rotation_sigma_rad[static_cast<std::size_t>(k)] = std::sqrt(C(k, k));
    }
    return p;
}

}  // namespace ro
