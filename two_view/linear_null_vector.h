// The null vector of an overdetermined homogeneous system A h = 0 with nine unknowns
// (internal to the library).
#pragma once

#include <Eigen/Core>

namespace two_view {

using SystemRows = Eigen::Matrix<double, Eigen::Dynamic, 9>;

// The unit h minimising |A h|: the last right singular vector, computed from the SVD of the
// 9x9 R of a Householder QR of A (A has at least nine rows), which is as accurate as the SVD
// of A and cheaper for many rows. False when A is not finite or when the eighth singular
// value is below 1e-10 of the first: then h is not determined (rank below 8).
bool LinearNullVector(const SystemRows& a, Eigen::Matrix<double, 9, 1>* h);

}  // namespace two_view
