// The precision of an adjusted orientation, by variance propagation from the adjustment's
// cofactor matrix of p = (phi, b) (adjustment.h).
//
// The elements e = (by, bz, omega, phi, kappa) of the dependent form depend on p through
//
//   (by, bz) = (By / Bx, Bz / Bx):  d(by, bz)/db = [[-By/Bx^2, 1/Bx, 0], [-Bz/Bx^2, 0, 1/Bx]] T
//   (omega, phi, kappa):            d(angles)/dphi = A^-1,  A = [x, Rx(omega) y, Rx(omega) Ry(phi)
//   z]
//
// (the columns of A are the axes the three angles turn about, in the model frame, so that a
// small change of the angles turns M by A d(angles)); their covariance is
// C_e = E C_p E^T with E the 5 x 5 matrix of these derivatives and C_p = sigma0^2 Q. The
// unit base has the covariance T C_b T^T, the attitude the rotation block of C_p.
#pragma once

#include <Eigen/Eigenvalues>
#include <limits>

#include "robust_orientation/adjustment.h"
#include "robust_orientation/result.h"

namespace ro {

// The correlation matrix of a covariance (or any symmetric matrix scaled to a unit diagonal).
Matrix5d CorrelationOf(const Matrix5d& covariance);

// Largest over smallest eigenvalue of a correlation matrix; infinite when singular.
template <int N>
double ConditionNumber(const Eigen::Matrix<double, N, N>& correlation) {
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix<double, N, N>> eigen(correlation,
                                                                           Eigen::EigenvaluesOnly);
    const auto& values = eigen.eigenvalues();
    if (eigen.info() != Eigen::Success || !(values.minCoeff() > 0.0)) {
        return std::numeric_limits<double>::infinity();
    }
    return values.maxCoeff() / values.minCoeff();
}

// The elements' covariance and correlation (by and bz undefined, NaN, for a base with
// |Bx| below kMinBaseXForElements), the sigmas of the unit base and of the attitude, all
// scaled by the adjustment's sigma0^2; and the elements' sigmas scaled by
// sigma_apriori_px^2 instead.
Precision PrecisionOf(const Adjustment& adjustment, double sigma_apriori_px);

}  // namespace ro
