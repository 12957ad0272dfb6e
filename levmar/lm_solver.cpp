#include "levmar/lm_solver.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>

#include "levmar/lm_kernels.h"
#include "levmar/lm_workspace.h"
#include "levmar/lu_solve.h"

namespace lm {
namespace {

// Damping factor floor of the gain-ratio update; deliberately not the double nearest 1/3,
// the rounded decimal is what the reference results were produced with.
constexpr double kOneThird = 0.3333333334;
// A step with ||Dp||^2 >= (||p||^2 + eps2) / kSingularEpsilon^2 means the damped system is
// numerically singular.
constexpr double kSingularEpsilon = 1e-12;
// Fresh Jacobian after this many rank-one updates (or m, if larger).
constexpr int kMinUpdatesPerJacobian = 10;
// nu above this after an accepted step means four rejections in a row: refresh J.
constexpr int kRefreshGrowth = 16;
// nu starts above kRefreshGrowth so that the first pass computes a Jacobian.
constexpr int kInitialGrowth = 20;

struct SolverState {
    SolverState(const LmProblem& problem_in, const LmOptions& options_in, std::span<double> p_in,
                std::span<double> work, std::span<double> lu)
        : problem(problem_in),
          options(options_in),
          p(p_in.first(problem_in.m)),
          w(CarveWorkspace(work, problem_in.m, problem_in.n)),
          lu_scratch(lu),
          updates_per_jacobian(std::max(problem_in.m, kMinUpdatesPerJacobian)),
          eps2_sq(options_in.eps2 * options_in.eps2) {}

    const LmProblem& problem;
    const LmOptions& options;
    std::span<double> p;
    Workspace w;
    std::span<double> lu_scratch;
    int updates_per_jacobian;  // K = max(m, 10)
    double eps2_sq;
    double error_sq = 0.0;      // ||e||^2 at p
    double gradient_inf = 0.0;  // ||J^T e||_inf
    double p_sq = 0.0;          // ||p||^2 when the normal equations were last formed
    double step_sq = DBL_MAX;   // ||Dp||^2 of the last step tried
    double mu = 0.0;
    int nu = kInitialGrowth;
    bool p_changed = true;  // p moved since the last finite-difference Jacobian
    int updates = 0;        // rank-one updates since the last finite-difference Jacobian
    bool stale_normal_equations = false;
    bool have_normal_equations = false;
    std::int64_t evaluations = 0;
    std::int64_t jacobians = 0;
    std::optional<LmStopReason> stop;
};

enum class StepOutcome { kAccepted, kRejected, kStopped };

void RefreshJacobianIfDue(SolverState& s) {
    if (!((s.p_changed && s.nu > kRefreshGrowth) || s.updates == s.updates_per_jacobian)) {
        return;
    }
    FiniteDifferenceJacobian(s.problem, s.p, s.w.hx, s.options.delta, s.options.difference, s.w.jac,
                             s.w.trial_hx, s.w.trial_e);
    s.jacobians += 1;
    s.evaluations += s.options.difference == LmDifference::kCentral ? 2 * s.problem.m : s.problem.m;
    s.nu = 2;
    s.updates = 0;
    s.p_changed = false;
    s.stale_normal_equations = true;
}

void FormNormalEquationsIfStale(SolverState& s) {
    if (!s.stale_normal_equations) return;
    const int m = s.problem.m;
    FormNormalEquations(s.w.jac, s.w.e, m, s.problem.n, s.w.jtj, s.w.jte);
    s.gradient_inf = InfNorm(s.w.jte);
    for (int i = 0; i < m; ++i) s.w.diag[i] = s.w.jtj[i * m + i];
    s.p_sq = SquaredSum(s.p);
    s.stale_normal_equations = false;
    s.have_normal_equations = true;
}

void AddDamping(SolverState& s) {
    const int m = s.problem.m;
    for (int i = 0; i < m; ++i) s.w.jtj[i * m + i] += s.mu;
}

void RestoreDiagonal(SolverState& s) {
    const int m = s.problem.m;
    for (int i = 0; i < m; ++i) s.w.jtj[i * m + i] = s.w.diag[i];
}

// Evaluates p + Dp and accepts or rejects it; keeps J current by a rank-one update.
StepOutcome TryStep(SolverState& s) {
    Workspace& w = s.w;
    const int m = s.problem.m;
    double step_sq = 0.0;
    for (int i = 0; i < m; ++i) {
        w.p_dp[i] = s.p[i] + w.dp[i];
        step_sq += w.dp[i] * w.dp[i];
    }
    s.step_sq = step_sq;
    if (step_sq <= s.eps2_sq * s.p_sq) {
        s.stop = LmStopReason::kSmallStep;
        return StepOutcome::kStopped;
    }
    if (step_sq >= (s.p_sq + s.options.eps2) / (kSingularEpsilon * kSingularEpsilon)) {
        s.stop = LmStopReason::kSingularSystem;
        return StepOutcome::kStopped;
    }
    s.problem.func(w.p_dp.data(), w.trial_hx.data(), m, s.problem.n, s.problem.adata);
    s.evaluations += 1;
    const double trial_error_sq = SquaredError(s.problem.x, w.trial_hx, w.trial_e);
    if (!std::isfinite(trial_error_sq)) {
        s.stop = LmStopReason::kNonFinite;
        return StepOutcome::kStopped;
    }
    const double gain = s.error_sq - trial_error_sq;
    if (s.p_changed || gain > 0.0) {
        BroydenUpdate(w.jac, w.dp, step_sq, w.trial_hx, w.hx, s.problem.n);
        s.updates += 1;
        s.stale_normal_equations = true;
    }
    double predicted = 0.0;
    for (int i = 0; i < m; ++i) predicted += w.dp[i] * (s.mu * w.dp[i] + w.jte[i]);
    if (!(predicted > 0.0 && gain > 0.0)) return StepOutcome::kRejected;

    double t = (2.0 * gain) / predicted - 1.0;
    t = 1.0 - t * t * t;
    s.mu = s.mu * (t >= kOneThird ? t : kOneThird);
    s.nu = 2;
    std::copy(w.p_dp.begin(), w.p_dp.end(), s.p.begin());
    std::copy(w.trial_e.begin(), w.trial_e.end(), w.e.begin());
    std::copy(w.trial_hx.begin(), w.trial_hx.end(), w.hx.begin());
    s.error_sq = trial_error_sq;
    s.p_changed = true;
    return StepOutcome::kAccepted;
}

// One pass of the main loop; false when the solve stops during the pass.
bool RunPass(SolverState& s, int k) {
    if (s.error_sq <= s.options.eps3) {
        s.stop = LmStopReason::kSmallError;
        return false;
    }
    RefreshJacobianIfDue(s);
    FormNormalEquationsIfStale(s);
    if (s.gradient_inf <= s.options.eps1) {
        s.step_sq = 0.0;
        s.stop = LmStopReason::kSmallGradient;
        return false;
    }
    if (k == 0) s.mu = s.options.tau * MaxDiagonal(s.w.jtj, s.problem.m);
    AddDamping(s);
    if (LuSolve(s.w.jtj, s.w.jte, s.w.dp, s.lu_scratch, s.problem.m)) {
        const StepOutcome outcome = TryStep(s);
        if (outcome == StepOutcome::kStopped) return false;
        if (outcome == StepOutcome::kAccepted) return true;
    }
    // Rejected (or the system could not be solved): damp harder and retry from the same p.
    s.mu = s.mu * s.nu;
    if (s.nu > INT_MAX / 2) {
        s.stop = LmStopReason::kDampingOverflow;
        return false;
    }
    s.nu = 2 * s.nu;
    RestoreDiagonal(s);
    return true;
}

// covar = (J^T J)^-1 * ||e||^2 / (n - m), or all NaN when that is undefined; true if written.
bool WriteCovariance(SolverState& s, std::span<double> covar) {
    const int m = s.problem.m;
    const int dof = s.problem.n - m;
    // The normal matrix is no longer needed: factor it in place, dp is the scale scratch.
    if (dof > 0 && s.have_normal_equations && LuInvert(s.w.jtj, covar, s.w.dp, m)) {
        const double factor = s.error_sq / dof;
        for (double& value : covar) value *= factor;
        return true;
    }
    for (double& value : covar) value = std::numeric_limits<double>::quiet_NaN();
    return false;
}

}  // namespace

std::size_t LmWorkSize(int m, int n) {
    const auto mm = static_cast<std::size_t>(m);
    const auto nn = static_cast<std::size_t>(n);
    return 4 * nn + 4 * mm + nn * mm + mm * mm;
}

std::size_t LmLuScratchSize(int m) {
    return m <= kMaxStackParameters ? 0 : static_cast<std::size_t>(LuScratchSize(m));
}

bool LmIsValid(const LmProblem& problem) {
    if (problem.func == nullptr || problem.m <= 0 || problem.n < problem.m) return false;
    const std::int64_t m = problem.m;
    const std::int64_t n = problem.n;
    return 4 * n + 4 * m + n * m + 2 * m * m + m <= INT_MAX;
}

LmResult LmSolve(const LmProblem& problem, std::span<double> p, int itmax, const LmOptions& options,
                 std::span<double> work, std::span<double> lu_scratch, std::span<double> covar) {
    std::array<double, LuScratchSize(kMaxStackParameters)> stack_lu;
    SolverState s(problem, options, p, work,
                  problem.m <= kMaxStackParameters ? std::span<double>(stack_lu) : lu_scratch);

    problem.func(s.p.data(), s.w.hx.data(), problem.m, problem.n, problem.adata);
    s.evaluations = 1;
    s.error_sq = SquaredError(problem.x, s.w.hx, s.w.e);
    const double initial_error_sq = s.error_sq;
    if (!std::isfinite(s.error_sq)) s.stop = LmStopReason::kNonFinite;

    int k = 0;
    for (; k < itmax && !s.stop; ++k) {
        if (!RunPass(s, k)) break;
    }
    // A non-finite start stays a failure even when no pass was allowed.
    if (k >= itmax && s.stop != LmStopReason::kNonFinite) s.stop = LmStopReason::kIterationLimit;
    if (s.have_normal_equations) RestoreDiagonal(s);

    LmResult result;
    result.iterations = k;
    result.reason = *s.stop;
    result.initial_error_sq = initial_error_sq;
    result.final_error_sq = s.error_sq;
    result.gradient_inf = s.gradient_inf;
    result.last_step_sq = s.step_sq;
    result.mu_ratio = s.have_normal_equations ? s.mu / MaxDiagonal(s.w.jtj, problem.m) : 0.0;
    result.evaluations = s.evaluations;
    result.jacobians = s.jacobians;
    if (!covar.empty()) {
        result.covariance_written =
            WriteCovariance(s, covar.first(static_cast<std::size_t>(problem.m) * problem.m));
    }
    return result;
}

std::optional<LmResult> LmSolveAllocating(const LmProblem& problem, std::span<double> p, int itmax,
                                          const LmOptions& options, std::span<double> covar) {
    if (!LmIsValid(problem)) return std::nullopt;
    const std::size_t work_size = LmWorkSize(problem.m, problem.n);
    const std::size_t lu_size = LmLuScratchSize(problem.m);
    // The one allocation of a solve: the work block and, for large m, the LU scratch.
    std::unique_ptr<double[]> block(new (std::nothrow) double[work_size + lu_size]);
    if (!block) return std::nullopt;
    std::span<double> all(block.get(), work_size + lu_size);
    return LmSolve(problem, p, itmax, options, all.first(work_size), all.subspan(work_size), covar);
}

int LmReturnValue(const LmResult& result) {
    const bool failed =
        result.reason == LmStopReason::kSingularSystem || result.reason == LmStopReason::kNonFinite;
    return failed ? -1 : result.iterations;
}

}  // namespace lm
