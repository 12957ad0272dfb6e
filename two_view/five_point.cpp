#include "two_view/five_point.h"

#include <Eigen/Geometry>
#include <Eigen/LU>
#include <Eigen/QR>
#include <cmath>
#include <span>

#include "two_view/five_point_constraints.h"
#include "two_view/sturm.h"

namespace two_view {
namespace {

using Solutions = std::array<Eigen::Matrix3d, kMaxFivePointSolutions>;

// The five constraints are taken as dependent when the smallest pivot of the pivoted QR
// falls below this fraction of the largest (each constraint row has unit norm).
constexpr double kRankTolerance = 1e-10;
// The elimination is taken as broken down when a pivot of its LU falls below this fraction
// of the largest.
constexpr double kPivotTolerance = 1e-14;
// Gauss-Newton steps on the constraints for each root.
constexpr int kPolishSteps = 3;
// A candidate whose |2 E E^T E - tr(E E^T) E| (at |E| = sqrt(2)) exceeds this is not an
// essential matrix: a root that rounding moved off the real axis. True solutions of exact
// problems stay below 1e-7 even when nearly double.
constexpr double kMaxEssentialResidual = 1e-6;

bool UnitRays(const FivePoints& x, FivePoints* unit) {
    for (int i = 0; i < 5; ++i) {
        const double n = x[i].stableNorm();
        if (!(n > 0.0 && std::isfinite(n))) return false;
        (*unit)[i] = x[i] / n;
        if (!(*unit)[i].allFinite()) return false;
    }
    return true;
}

// An orthonormal basis of the null space of the five epipolar constraints
// (x2 kron x1) . e = 0, e the entries of E row by row: the last four columns of Q in a
// full-pivoting Householder QR of the 9x5 matrix of constraint vectors.
bool NullSpace(const FivePoints& x1, const FivePoints& x2, std::array<Eigen::Matrix3d, 4>* basis) {
    Eigen::Matrix<double, 9, 5> a;
    for (int i = 0; i < 5; ++i) {
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) a(3 * r + c, i) = x2[i](r) * x1[i](c);
        }
    }
    const Eigen::FullPivHouseholderQR<Eigen::Matrix<double, 9, 5>> qr(a);
    const auto& r = qr.matrixQR();
    if (!(std::abs(r(4, 4)) > kRankTolerance * std::abs(r(0, 0)))) return false;
    const Eigen::Matrix<double, 9, 9> q = qr.matrixQ();
    for (int k = 0; k < 4; ++k) {
        for (int row = 0; row < 3; ++row) {
            for (int c = 0; c < 3; ++c) (*basis)[k](row, c) = q(3 * row + c, 5 + k);
        }
    }
    return true;
}

// Turns the left half of the constraints into the identity; B is the right half after.
// The factorisation is Eigen's partial-pivoting LU; the ten right-hand sides are solved by
// plain row operations, which for this fixed small size beat the general blocked solver.
bool Eliminate(const five_point::ConstraintMatrix& m, five_point::EliminatedMatrix* b) {
    const Eigen::Matrix<double, 10, 10> left = m.leftCols<10>();
    const Eigen::PartialPivLU<Eigen::Matrix<double, 10, 10>> lu(left);
    const Eigen::Matrix<double, 10, 10>& f = lu.matrixLU();
    const auto diagonal = f.diagonal().cwiseAbs();
    if (!(diagonal.minCoeff() > kPivotTolerance * diagonal.maxCoeff())) return false;
    Eigen::Matrix<double, 10, 10, Eigen::RowMajor> x = lu.permutationP() * m.rightCols<10>();
    for (int i = 1; i < 10; ++i) {
        for (int k = 0; k < i; ++k) x.row(i) -= f(i, k) * x.row(k);
    }
    for (int i = 9; i >= 0; --i) {
        for (int k = i + 1; k < 10; ++k) x.row(i) -= f(i, k) * x.row(k);
        x.row(i) /= f(i, i);
    }
    *b = x;
    return b->allFinite();
}

// (x, y) for a root z: the 3x3 system has rank 2, so (x, y, 1) is proportional to the cross
// product of two of its rows. Rows 0 and 1 are tried first; when their 2x2 system in
// (x, y) is ill-conditioned, the best-conditioned pair is used instead.
bool BackSubstitute(const Eigen::Matrix3d& m, double* x, double* y) {
    const Eigen::Vector3d c01 = m.row(0).cross(m.row(1));
    Eigen::Vector3d v = c01;
    if (!(std::abs(c01.z()) > 1e-6 * c01.norm())) {
        const Eigen::Vector3d c02 = m.row(0).cross(m.row(2));
        const Eigen::Vector3d c12 = m.row(1).cross(m.row(2));
        if (std::abs(c02.z()) > std::abs(v.z())) v = c02;
        if (std::abs(c12.z()) > std::abs(v.z())) v = c12;
    }
    if (v.z() == 0.0) return false;
    *x = v.x() / v.z();
    *y = v.y() / v.z();
    return std::isfinite(*x) && std::isfinite(*y);
}

int Solve(const FivePoints& x1, const FivePoints& x2, Solutions* solutions) {
    FivePoints u1, u2;
    if (!UnitRays(x1, &u1) || !UnitRays(x2, &u2)) return 0;
    std::array<Eigen::Matrix3d, 4> basis;  // X, Y, Z, W
    if (!NullSpace(u1, u2, &basis)) return 0;
    const five_point::ConstraintMatrix constraints =
        five_point::BuildConstraints(basis[0], basis[1], basis[2], basis[3]);
    five_point::EliminatedMatrix b;
    if (!Eliminate(constraints, &b)) return 0;
    const five_point::HiddenVariableSystem system = five_point::HiddenVariableFromEliminated(b);
    const std::array<double, 11> polynomial = five_point::DeterminantPolynomial(system);
    std::array<double, kMaxSturmDegree> roots;
    const int root_count = SturmRealRoots(polynomial, roots);

    int count = 0;
    for (int i = 0; i < root_count; ++i) {
        const double z = roots[i];
        double x = 0.0, y = 0.0;
        if (!BackSubstitute(five_point::EvaluateSystem(system, z), &x, &y)) continue;
        Eigen::Vector3d xyz(x, y, z);
        five_point::PolishSolution(constraints, kPolishSteps, &xyz);
        Eigen::Matrix3d e = xyz.x() * basis[0] + xyz.y() * basis[1] + xyz.z() * basis[2] + basis[3];
        const double norm = e.norm();
        if (!(norm > 0.0)) continue;
        e *= std::sqrt(2.0) / norm;
        if (!e.allFinite() || !(EssentialResidual(e) <= kMaxEssentialResidual)) continue;
        (*solutions)[count++] = e;
    }
    return count;
}

}  // namespace

int SolveFivePoint(const FivePoints& x1, const FivePoints& x2,
                   std::vector<Eigen::Matrix3d>* essentials) {
    essentials->clear();
    Solutions solutions;
    const int count = Solve(x1, x2, &solutions);
    essentials->reserve(kMaxFivePointSolutions);
    essentials->assign(solutions.begin(), solutions.begin() + count);
    return count;
}

int SolveRelativePoseFivePoint(const FivePoints& x1, const FivePoints& x2,
                               std::vector<RelativePose>* poses) {
    poses->clear();
    Solutions solutions;
    const int count = Solve(x1, x2, &solutions);
    for (int i = 0; i < count; ++i) {
        AppendPosesFromEssential(solutions[i], std::span<const Eigen::Vector3d>(x1),
                                 std::span<const Eigen::Vector3d>(x2), poses);
    }
    return static_cast<int>(poses->size());
}

}  // namespace two_view
