// The numerical building blocks of the solver: squared error, finite-difference Jacobian,
// normal equations and the rank-one Jacobian update. Every sum is taken in a fixed order
// so that results do not depend on the compiler's choices.
#pragma once

#include <span>

#include "levmar/lm_solver.h"

namespace lm {

// e = x - y (e = -y when x is null) and returns ||e||^2. The squares go into four partial
// sums: blocks of eight elements in ascending order, element i of a block into sum i % 4,
// the n % 8 trailing elements into the first sum; the result is ((s0 + s1) + s2) + s3.
double SquaredError(const double* x, std::span<const double> y, std::span<double> e);

// Sum of squares with one accumulator, i ascending.
double SquaredSum(std::span<const double> v);

// Row-major n x m Jacobian of the model at p by finite differences, with the step
// max(1e-4 |p_j|, delta) for parameter j. Forward differences reuse hx = f(p) (m
// evaluations); central ones take two evaluations per parameter. p is perturbed in place and
// restored exactly. scratch_a and scratch_b hold n values each (scratch_b only for central).
void FiniteDifferenceJacobian(const LmProblem& problem, std::span<double> p,
                              std::span<const double> hx, double delta, LmDifference difference,
                              std::span<double> jac, std::span<double> scratch_a,
                              std::span<double> scratch_b);

// jtj = J^T J (m x m, both triangles) and jte = J^T e, each entry summed over the rows in
// ascending order.
void FormNormalEquations(std::span<const double> jac, std::span<const double> e, int m, int n,
                         std::span<double> jtj, std::span<double> jte);

// Largest |v_i|, starting from 0 and replaced only when strictly larger (NaN never wins).
double InfNorm(std::span<const double> v);

// Largest diagonal element of the m x m matrix a, searched from -DBL_MAX.
double MaxDiagonal(std::span<const double> a, int m);

// Secant update J += (f(p + dp) - f(p) - J dp) dp^T / (dp^T dp), row by row.
void BroydenUpdate(std::span<double> jac, std::span<const double> dp, double dp_sq,
                   std::span<const double> trial_hx, std::span<const double> hx, int n);

}  // namespace lm
