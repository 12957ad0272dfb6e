// The chi-square distribution, for the global test of sigma0 against the a-priori sigma.
#pragma once

namespace ro {

// P(X <= x) for X ~ chi-square with `dof` degrees of freedom: 0 for x <= 0, 1 for
// x = +infinity. NaN when x is NaN or dof is not a positive finite number.
double ChiSquareCdf(double x, double dof);

// The quantile: the x with ChiSquareCdf(x, dof) = p. NaN unless 0 < p < 1 and dof is a
// positive finite number.
double ChiSquareQuantile(double p, double dof);

}  // namespace ro
