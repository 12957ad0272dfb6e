// Levenberg-Marquardt least squares with a finite-difference Jacobian, behind the
// interface of the classic C library call `dlevmar_dif`.
#pragma once

// Number of entries of the `info` array that dlevmar_dif fills.
inline constexpr int LM_INFO_SZ = 9;
// Number of entries of `opts`: tau, eps1, eps2, eps3, delta.
inline constexpr int LM_OPTS_SZ = 5;

// Model function: writes the n model values f(p) for the m parameters p into hx.
using LevmarModelFunction = void (*)(double* p, double* hx, int m, int n, void* adata);

// Size in doubles of a caller-supplied work area for dlevmar_dif.
constexpr int LM_DIF_WORKSZ(int m, int n) { return 4 * n + 4 * m + n * m + m * m; }

// Minimises ||x - f(p)||^2 over p, starting from p and overwriting it with the estimate.
// Returns the number of iterations, or -1 on failure (n < m, an almost singular system, a
// non-finite error). See lm_solver.h for the options, the info entries and the stops.
int dlevmar_dif(LevmarModelFunction func, double* p, double* x, int m, int n, int itmax,
                double opts[5], double info[9], double* work, double* covar, void* adata);
