// Dense LU factorisation (Crout, implicit row scaling, partial pivoting) for the damped
// normal equations and for the covariance. Nothing is printed: failure is reported to the
// caller, which treats it as a rejected step.
#pragma once

#include <span>

namespace lm {

// Doubles of scratch LuSolve needs for an m x m system.
constexpr int LuScratchSize(int m) { return m * m + m; }

// Solves a x = b for the m x m row-major matrix a without modifying a or b. scratch holds
// LuScratchSize(m) doubles. Returns false, leaving x unspecified, when a row of a is
// entirely zero.
bool LuSolve(std::span<const double> a, std::span<const double> b, std::span<double> x,
             std::span<double> scratch, int m);

// Writes the inverse of a (destroyed) into inverse (m x m, row-major); scale holds m
// doubles of scratch. Returns false when a row of a is entirely zero.
bool LuInvert(std::span<double> a, std::span<double> inverse, std::span<double> scale, int m);

}  // namespace lm
