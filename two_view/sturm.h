// Real roots of a real polynomial of degree at most 10 by Sturm sequences: the roots are
// isolated by bisection on the count of sign changes, then each isolated root is narrowed
// by safeguarded Newton steps and polished. Every loop has a fixed bound, so the call
// ends on any input.
#pragma once

#include <span>

namespace two_view {

inline constexpr int kMaxSturmDegree = 10;

// The distinct real roots of c[0] + c[1] z + ... + c[n] z^n, n = coefficients.size() - 1,
// written to roots[0..count) in ascending order; returns count. Roots that the chain cannot
// separate (closer than about 1e-15 relative, a double root for instance) come out once,
// to the accuracy their multiplicity allows (about 1e-8 for a double root). Returns 0 when n
// is outside [1, kMaxSturmDegree], when the leading coefficient c[n] is zero, or when a
// coefficient is not finite. The work is bounded: at most 600 evaluations of the Sturm chain
// for each half of the real line (|z| <= 1 and |z| > 1) and 100 Newton steps for each root.
int SturmRealRoots(std::span<const double> coefficients, std::span<double, kMaxSturmDegree> roots);

}  // namespace two_view
