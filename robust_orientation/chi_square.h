// The chi-square distribution, for the global test of sigma0 against the a-priori sigma.
#pragma once

namespace ro {

// P(X <= x) for X ~ chi-square with `dof` degrees of freedom (dof > 0).
double ChiSquareCdf(double x, double dof);

// The quantile: the x with ChiSquareCdf(x, dof) = p, for 0 < p < 1.
double ChiSquareQuantile(double p, double dof);

}  // namespace ro
