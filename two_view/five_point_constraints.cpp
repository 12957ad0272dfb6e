#include "two_view/five_point_constraints.h"

#include <Eigen/Cholesky>
#include <cmath>
#include <cstddef>
#include <limits>

namespace two_view::five_point {
namespace {

// Polynomials in (x, y, z) by their coefficients.
using Linear = std::array<double, 4>;      // x, y, z, 1
using Quadratic = std::array<double, 10>;  // x^2, xy, xz, y^2, yz, z^2, x, y, z, 1
using Cubic = std::array<double, 20>;      // the column order of the constraint matrix

Quadratic Multiply(const Linear& a, const Linear& b) {
    return {a[0] * b[0],
            a[0] * b[1] + a[1] * b[0],
            a[0] * b[2] + a[2] * b[0],
            a[1] * b[1],
            a[1] * b[2] + a[2] * b[1],
            a[2] * b[2],
            a[0] * b[3] + a[3] * b[0],
            a[1] * b[3] + a[3] * b[1],
            a[2] * b[3] + a[3] * b[2],
            a[3] * b[3]};
}

Cubic Multiply(const Quadratic& p, const Linear& a) {
    return {p[0] * a[0],                              // x^3
            p[3] * a[1],                              // y^3
            p[0] * a[1] + p[1] * a[0],                // x^2y
            p[1] * a[1] + p[3] * a[0],                // xy^2
            p[0] * a[2] + p[2] * a[0],                // x^2z
            p[0] * a[3] + p[6] * a[0],                // x^2
            p[3] * a[2] + p[4] * a[1],                // y^2z
            p[3] * a[3] + p[7] * a[1],                // y^2
            p[1] * a[2] + p[2] * a[1] + p[4] * a[0],  // xyz
            p[1] * a[3] + p[6] * a[1] + p[7] * a[0],  // xy
            p[2] * a[2] + p[5] * a[0],                // xz^2
            p[2] * a[3] + p[6] * a[2] + p[8] * a[0],  // xz
            p[6] * a[3] + p[9] * a[0],                // x
            p[4] * a[2] + p[5] * a[1],                // yz^2
            p[4] * a[3] + p[7] * a[2] + p[8] * a[1],  // yz
            p[7] * a[3] + p[9] * a[1],                // y
            p[5] * a[2],                              // z^3
            p[5] * a[3] + p[8] * a[2],                // z^2
            p[8] * a[3] + p[9] * a[2],                // z
            p[9] * a[3]};                             // 1
}

template <std::size_t N>
void AddTo(std::array<double, N>* sum, const std::array<double, N>& p, double factor = 1.0) {
    for (std::size_t i = 0; i < N; ++i) (*sum)[i] += factor * p[i];
}

// Products and differences of polynomials in z (ascending powers).
template <typename T, std::size_t A, std::size_t B>
std::array<T, A + B - 1> MultiplyZ(const std::array<T, A>& a, const std::array<T, B>& b) {
    std::array<T, A + B - 1> c{};
    for (std::size_t i = 0; i < A; ++i) {
        for (std::size_t j = 0; j < B; ++j) c[i + j] += a[i] * b[j];
    }
    return c;
}

template <typename T, std::size_t N>
std::array<T, N> SubtractZ(const std::array<T, N>& a, const std::array<T, N>& b) {
    std::array<T, N> c;
    for (std::size_t i = 0; i < N; ++i) c[i] = a[i] - b[i];
    return c;
}

template <typename T, std::size_t N>
std::array<T, N> Widen(const std::array<double, N>& a) {
    std::array<T, N> w;
    for (std::size_t i = 0; i < N; ++i) w[i] = a[i];
    return w;
}

template <std::size_t N>
double EvaluateZ(const std::array<double, N>& p, double z) {
    double v = p[N - 1];
    for (std::size_t i = N - 1; i-- > 0;) v = v * z + p[i];
    return v;
}

// Row i of [I | B] minus z times row i + 1, in the columns of x, y and 1 (see the header).
void ReduceRowPair(const EliminatedMatrix& B, int i, std::array<double, 4>* px,
                   std::array<double, 4>* py, std::array<double, 5>* p1) {
    const int j = i + 1;
    *px = {B(i, 2), B(i, 1) - B(j, 2), B(i, 0) - B(j, 1), -B(j, 0)};
    *py = {B(i, 5), B(i, 4) - B(j, 5), B(i, 3) - B(j, 4), -B(j, 3)};
    *p1 = {B(i, 9), B(i, 8) - B(j, 9), B(i, 7) - B(j, 8), B(i, 6) - B(j, 7), -B(j, 6)};
}

// The 20 monomials at (x, y, z), and their partial derivatives.
Eigen::Matrix<double, 20, 1> Monomials(const Eigen::Vector3d& v) {
    const double x = v.x(), y = v.y(), z = v.z();
    Eigen::Matrix<double, 20, 1> m;
    m << x * x * x, y * y * y, x * x * y, x * y * y, x * x * z, x * x, y * y * z, y * y, x * y * z,
        x * y, x * z * z, x * z, x, y * z * z, y * z, y, z * z * z, z * z, z, 1.0;
    return m;
}

// Row k: the partial derivatives d/dx, d/dy, d/dz of monomial k.
Eigen::Matrix<double, 20, 3> MonomialJacobian(const Eigen::Vector3d& v) {
    const double x = v.x(), y = v.y(), z = v.z();
    Eigen::Matrix<double, 20, 3> j;
    j.row(0) << 3 * x * x, 0, 0;       // x^3
    j.row(1) << 0, 3 * y * y, 0;       // y^3
    j.row(2) << 2 * x * y, x * x, 0;   // x^2y
    j.row(3) << y * y, 2 * x * y, 0;   // xy^2
    j.row(4) << 2 * x * z, 0, x * x;   // x^2z
    j.row(5) << 2 * x, 0, 0;           // x^2
    j.row(6) << 0, 2 * y * z, y * y;   // y^2z
    j.row(7) << 0, 2 * y, 0;           // y^2
    j.row(8) << y * z, x * z, x * y;   // xyz
    j.row(9) << y, x, 0;               // xy
    j.row(10) << z * z, 0, 2 * x * z;  // xz^2
    j.row(11) << z, 0, x;              // xz
    j.row(12) << 1, 0, 0;              // x
    j.row(13) << 0, z * z, 2 * y * z;  // yz^2
    j.row(14) << 0, z, y;              // yz
    j.row(15) << 0, 1, 0;              // y
    j.row(16) << 0, 0, 3 * z * z;      // z^3
    j.row(17) << 0, 0, 2 * z;          // z^2
    j.row(18) << 0, 0, 1;              // z
    j.row(19) << 0, 0, 0;              // 1
    return j;
}

// Relative residual below which a solution counts as exact.
constexpr double kConverged = 1e-14;

}  // namespace

ConstraintMatrix BuildConstraints(const Eigen::Matrix3d& X, const Eigen::Matrix3d& Y,
                                  const Eigen::Matrix3d& Z, const Eigen::Matrix3d& W) {
    Linear e[3][3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) e[r][c] = {X(r, c), Y(r, c), Z(r, c), W(r, c)};
    }
    // E E^T (symmetric) and half its trace.
    Quadratic eet[3][3];
    for (int r = 0; r < 3; ++r) {
        for (int c = r; c < 3; ++c) {
            Quadratic s{};
            for (int k = 0; k < 3; ++k) AddTo(&s, Multiply(e[r][k], e[c][k]));
            eet[r][c] = s;
            eet[c][r] = s;
        }
    }
    Quadratic half_trace{};
    for (int k = 0; k < 3; ++k) AddTo(&half_trace, eet[k][k], 0.5);
    for (int k = 0; k < 3; ++k) AddTo(&eet[k][k], half_trace, -1.0);

    ConstraintMatrix m;
    // Row 0: det E by its first row's cofactors.
    Cubic det{};
    AddTo(&det,
          Multiply(SubtractZ(Multiply(e[1][1], e[2][2]), Multiply(e[1][2], e[2][1])), e[0][0]));
    AddTo(&det,
          Multiply(SubtractZ(Multiply(e[1][2], e[2][0]), Multiply(e[1][0], e[2][2])), e[0][1]));
    AddTo(&det,
          Multiply(SubtractZ(Multiply(e[1][0], e[2][1]), Multiply(e[1][1], e[2][0])), e[0][2]));
    for (int k = 0; k < 20; ++k) m(0, k) = det[k];
    // Rows 1..9: (E E^T - tr(E E^T)/2 I) E, entry (r, c) in row 1 + 3 r + c.
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            Cubic s{};
            for (int k = 0; k < 3; ++k) AddTo(&s, Multiply(eet[r][k], e[k][c]));
            for (int k = 0; k < 20; ++k) m(1 + 3 * r + c, k) = s[k];
        }
    }
    return m;
}

HiddenVariableSystem HiddenVariableFromEliminated(const EliminatedMatrix& B) {
    HiddenVariableSystem s;
    for (int row = 0; row < 3; ++row) {
        ReduceRowPair(B, 4 + 2 * row, &s.px[row], &s.py[row], &s.p1[row]);
    }
    return s;
}

std::array<double, 11> DeterminantPolynomial(const HiddenVariableSystem& s) {
    // The expansion cancels heavily when solutions lie close together, and its rounding
    // errors then move or lose roots: it is done in the extended precision of long double
    // (64-bit significands with g++ on x86-64), which halves the share of problems whose
    // true solution is missed, at a cost of a few hundred operations.
    using Extended = long double;
    std::array<std::array<Extended, 4>, 3> x, y;
    std::array<std::array<Extended, 5>, 3> c;
    for (int row = 0; row < 3; ++row) {
        x[row] = Widen<Extended>(s.px[row]);
        y[row] = Widen<Extended>(s.py[row]);
        c[row] = Widen<Extended>(s.p1[row]);
    }
    // Expansion along the first row: x0 (y1 c2 - c1 y2) - y0 (x1 c2 - c1 x2) + c0 (x1 y2 - y1 x2).
    const auto minor_x = SubtractZ(MultiplyZ(y[1], c[2]), MultiplyZ(c[1], y[2]));
    const auto minor_y = SubtractZ(MultiplyZ(x[1], c[2]), MultiplyZ(c[1], x[2]));
    const auto minor_c = SubtractZ(MultiplyZ(x[1], y[2]), MultiplyZ(y[1], x[2]));
    const auto term_x = MultiplyZ(x[0], minor_x);
    const auto term_y = MultiplyZ(y[0], minor_y);
    const auto term_c = MultiplyZ(c[0], minor_c);
    // A coefficient beyond the range of double becomes infinite (the root finder then gives
    // up on the polynomial) rather than being narrowed, which is undefined out of range.
    std::array<double, 11> det;
    for (int i = 0; i < 11; ++i) {
        const Extended v = term_x[i] - term_y[i] + term_c[i];
        det[i] = std::abs(v) <= std::numeric_limits<double>::max()
                     ? static_cast<double>(v)
                     : std::numeric_limits<double>::infinity();
    }
    return det;
}

Eigen::Matrix3d EvaluateSystem(const HiddenVariableSystem& s, double z) {
    Eigen::Matrix3d m;
    for (int row = 0; row < 3; ++row) {
        m(row, 0) = EvaluateZ(s.px[row], z);
        m(row, 1) = EvaluateZ(s.py[row], z);
        m(row, 2) = EvaluateZ(s.p1[row], z);
    }
    return m;
}

void PolishSolution(const ConstraintMatrix& m, int max_steps, Eigen::Vector3d* xyz) {
    const Eigen::Matrix<double, 20, 1> monomials = Monomials(*xyz);
    Eigen::Matrix<double, 10, 1> r = m.lazyProduct(monomials);
    double r_norm = r.norm();
    // Residuals at the level of the rounding errors of m . monomials: nothing to polish.
    if (r_norm <= kConverged * m.norm() * monomials.norm()) return;
    for (int step = 0; step < max_steps && r_norm > 0.0; ++step) {
        const Eigen::Matrix<double, 10, 3> j = m.lazyProduct(MonomialJacobian(*xyz));
        // Normal equations: the 3x3 system is small and the step is checked below.
        const Eigen::Matrix3d jtj = j.transpose().lazyProduct(j);
        const Eigen::Vector3d jtr = j.transpose().lazyProduct(r);
        const Eigen::Vector3d delta = jtj.ldlt().solve(-jtr);
        if (!delta.allFinite()) return;
        // A step this small changes nothing that matters: the solution has converged.
        if (delta.norm() <= 1e-13 * xyz->norm()) {
            *xyz += delta;
            return;
        }
        const Eigen::Vector3d next = *xyz + delta;
        const Eigen::Matrix<double, 10, 1> r_next = m.lazyProduct(Monomials(next));
        const double next_norm = r_next.norm();
        if (!(next_norm < r_norm)) return;
        *xyz = next;
        r = r_next;
        r_norm = next_norm;
    }
}

}  // namespace two_view::five_point
