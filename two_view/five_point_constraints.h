// The polynomial algebra of the five-point solver (internal to the library).
//
// E = x X + y Y + z Z + W spans the null space of the five epipolar constraints. Each entry
// of E is then a polynomial of degree 1 in (x, y, z); the ten cubic constraints of an
// essential matrix, det E = 0 and E E^T E - tr(E E^T) E / 2 = 0, are polynomials of degree 3
// in the 20 monomials, ordered as the columns of the constraint matrix:
//    0 x^3   1 y^3   2 x^2y  3 xy^2  4 x^2z  5 x^2   6 y^2z  7 y^2   8 xyz   9 xy
//   10 xz^2 11 xz   12 x    13 yz^2 14 yz   15 y    16 z^3  17 z^2  18 z    19 1
// Eliminating the first ten columns leaves, in rows 4/5, 6/7 and 8/9, pairs whose leading
// monomials differ by a factor z (x^2z and x^2, y^2z and y^2, xyz and xy). Each pair gives
// one equation [p_x(z) p_y(z) p_1(z)] (x, y, 1)^T = 0 with p_x, p_y of degree 3 and p_1 of
// degree 4; the determinant of the 3x3 system is a polynomial of degree 10 in z.
#pragma once

#include <Eigen/Core>
#include <array>

namespace two_view::five_point {

using ConstraintMatrix = Eigen::Matrix<double, 10, 20, Eigen::RowMajor>;
using EliminatedMatrix = Eigen::Matrix<double, 10, 10>;

// The 3x3 system in (x, y, 1) whose coefficients are polynomials in z (ascending powers).
struct HiddenVariableSystem {
    std::array<std::array<double, 4>, 3> px;  // column of x, degree 3
    std::array<std::array<double, 4>, 3> py;  // column of y, degree 3
    std::array<std::array<double, 5>, 3> p1;  // constant column, degree 4
};

// The ten cubic constraints; X, Y, Z, W are the null-space vectors as 3x3 matrices.
ConstraintMatrix BuildConstraints(const Eigen::Matrix3d& X, const Eigen::Matrix3d& Y,
                                  const Eigen::Matrix3d& Z, const Eigen::Matrix3d& W);

// The 3x3 system from B, the right half of the constraints after the left half has been
// turned into the identity: row i reads monomial(i) + B.row(i) . monomials(10..19) = 0.
HiddenVariableSystem HiddenVariableFromEliminated(const EliminatedMatrix& B);

// det of the system: the degree-10 polynomial in z, ascending powers.
std::array<double, 11> DeterminantPolynomial(const HiddenVariableSystem& s);

// The system's numeric 3x3 matrix at z (rows: equations; columns: x, y, 1).
Eigen::Matrix3d EvaluateSystem(const HiddenVariableSystem& s, double z);

// Gauss-Newton steps on the ten constraints m . monomials(x, y, z) = 0 from the given
// solution, each kept only when it lowers the residual; at most max_steps of them.
void PolishSolution(const ConstraintMatrix& m, int max_steps, Eigen::Vector3d* xyz);

}  // namespace two_view::five_point
