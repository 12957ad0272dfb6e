// Levenberg-Marquardt least squares with a finite-difference Jacobian, behind the
// interface of the classic C library call `dlevmar_dif` (levmar 2.3 semantics, nine-entry
// info). The solver itself is in lm_solver.h; this is the C-style boundary.
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
//
//   x      n measurements, or NULL for zeros.
//   opts   {tau, eps1, eps2, eps3, delta}, or NULL for {1e-3, 1e-17, 1e-17, 1e-17, 1e-6}.
//          A negative delta selects central differences with step |delta|.
//   info   NULL, or nine entries: [0] ||e||^2 at the start, [1] ||e||^2 at the result,
//          [2] ||J^T e||_inf, [3] ||Dp||^2 of the last step tried (DBL_MAX if none),
//          [4] mu / max diag(J^T J) (0 if no Jacobian was formed), [5] iterations,
//          [6] stop reason 1-7 (see LmStopReason), [7] model evaluations, [8] Jacobians.
//          Left untouched when the call is rejected (bad arguments, no memory).
//   work   NULL, or LM_DIF_WORKSZ(m, n) doubles. A call allocates at most one block:
//          none with work (for m <= 32), one without; nothing is kept between calls.
//   covar  NULL, or m*m doubles for (J^T J)^-1 ||e||^2 / (n - m); all NaN when that is
//          undefined (singular J^T J, n == m).
// Bad arguments (NULL func or p, m <= 0, n < m, sizes overflowing int) and a failed
// allocation return -1 without evaluating the model. Nothing is printed.
int dlevmar_dif(LevmarModelFunction func, double* p, double* x, int m, int n, int itmax,
                double opts[5], double info[9], double* work, double* covar, void* adata);
