// Levenberg-Marquardt core: minimises ||x - f(p)||^2 with a finite-difference Jacobian that
// is refreshed only now and then and kept up to date in between by rank-one secant
// (Broyden) updates. dlevmar_dif in levmar.h is a thin wrapper over LmSolve.
//
// The solver keeps no state between calls and uses only the buffers it is given, so solves
// may run in parallel. Its floating-point operations are done in a fixed order (see the
// comments in lm_solver.cpp and lm_kernels.cpp) so that results are reproducible to the last
// bit when the module is compiled without floating-point contraction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "levmar/levmar.h"

namespace lm {

// Defaults used when dlevmar_dif is called with opts == NULL.
inline constexpr double kDefaultTau = 1e-3;
inline constexpr double kDefaultStopThreshold = 1e-17;
inline constexpr double kDefaultDiffDelta = 1e-6;

enum class LmDifference { kForward, kCentral };

struct LmOptions {
    double tau = kDefaultTau;             // initial damping: tau * max diag(J^T J)
    double eps1 = kDefaultStopThreshold;  // stop when ||J^T e||_inf <= eps1
    double eps2 = kDefaultStopThreshold;  // stop when ||Dp|| <= eps2 * ||p||
    double eps3 = kDefaultStopThreshold;  // stop when ||e||^2 <= eps3
    double delta = kDefaultDiffDelta;     // smallest finite-difference step (positive)
    LmDifference difference = LmDifference::kForward;
};

// Why a solve ended; the values are the ones reported in info[6].
enum class LmStopReason {
    kSmallGradient = 1,    // ||J^T e||_inf <= eps1
    kSmallStep = 2,        // ||Dp|| <= eps2 * ||p||
    kIterationLimit = 3,   // itmax passes done
    kSingularSystem = 4,   // the step blew up: the damped normal matrix is almost singular
    kDampingOverflow = 5,  // 30 rejected steps in a row without a fresh Jacobian
    kSmallError = 6,       // ||e||^2 <= eps3
    kNonFinite = 7,        // the error at the start or at a trial point is not finite
};

struct LmResult {
    int iterations = 0;
    LmStopReason reason = LmStopReason::kIterationLimit;
    double initial_error_sq = 0.0;  // ||e||^2 at the start
    double final_error_sq = 0.0;    // ||e||^2 at the returned p
    double gradient_inf = 0.0;      // ||J^T e||_inf as last computed
    double last_step_sq = 0.0;      // ||Dp||^2 of the last step tried (DBL_MAX if none)
    double mu_ratio = 0.0;          // mu / max diag(J^T J); 0 if no Jacobian was formed
    std::int64_t evaluations = 0;   // calls of the model function
    std::int64_t jacobians = 0;     // finite-difference Jacobians
    bool covariance_written = false;
};

// The least-squares problem: m parameters, n >= m model values, x the n measurements
// (nullptr means zeros).
struct LmProblem {
    LevmarModelFunction func = nullptr;
    void* adata = nullptr;
    int m = 0;
    int n = 0;
    const double* x = nullptr;
};

// Largest m whose LU scratch (m*m + m doubles) lives on the stack; bigger problems need
// LmLuScratchSize(m) doubles more.
inline constexpr int kMaxStackParameters = 32;

// Doubles of the main work block (the same as LM_DIF_WORKSZ), without overflow.
std::size_t LmWorkSize(int m, int n);
// Doubles of extra LU scratch a solve needs beyond LmWorkSize: 0 for m <= 32.
std::size_t LmLuScratchSize(int m);

// True when the problem can be solved: a model, 0 < m <= n, sizes that fit in an int.
bool LmIsValid(const LmProblem& problem);

// Runs the solve. p holds m values (start on entry, estimate on exit; it only ever holds
// accepted estimates). work has at least LmWorkSize doubles, lu_scratch at least
// LmLuScratchSize. If covar is not empty (m*m values), it receives
// (J^T J)^-1 * ||e||^2 / (n - m); it is filled with NaN when that is undefined (singular
// J^T J or n == m). Requires LmIsValid(problem).
LmResult LmSolve(const LmProblem& problem, std::span<double> p, int itmax, const LmOptions& options,
                 std::span<double> work, std::span<double> lu_scratch, std::span<double> covar);

// Same, with the buffers allocated here in one block. Returns nullopt for an invalid
// problem or when the allocation fails.
std::optional<LmResult> LmSolveAllocating(const LmProblem& problem, std::span<double> p, int itmax,
                                          const LmOptions& options, std::span<double> covar);

// The value dlevmar_dif returns: the iteration count, or -1 for reasons 4 and 7.
int LmReturnValue(const LmResult& result);

}  // namespace lm
